// Carrying a conversion plan out, or previewing it for a dry run: the plan's bytes are
// produced into the output's temporary file, or into nothing.
#include <functional>
#include <memory>

#include "convert/gzip_output.h"
#include "convert/plan.h"
#include "convert/responsive_transcode.h"
#include "convert/safe_write.h"
#include "platform/platform.h"

namespace cw {
namespace {

// What the losses of a write mean for it: over the original any loss stops the write;
// elsewhere the losses are only counted.
struct LossWatch {
  std::function<bool()> refuse;  // asked at the first loss: whether the original is at stake
  TranscodeLosses losses;
};

// Writes the mark, then `text` transcoded into the file piece by piece from one reused
// buffer, so that the encoded result never exists whole; stops at the first loss when the
// watch refuses losses, and leaves them in it. The text ends at its first zero character
// unless the caller has made sure it holds none (`zeroFree`).
Producer StreamedProducer(std::string_view text, Charset from, Charset to, std::string_view mark, LossWatch* watch,
                          bool zeroFree) {
  return [text, from, to, mark, watch, zeroFree](platform::NewFile& file) {
    if (!mark.empty() && file.Write(mark) != platform::Status::Ok) return false;
    return TranscodeStreamed(
        text, from, to,
        [&file, watch](std::string_view piece) {
          if (watch->losses.Any() && watch->refuse && watch->refuse()) return false;
          return file.Write(piece) == platform::Status::Ok;
        },
        zeroFree, kResponsivePiece, &watch->losses);
  };
}

Producer WriteAll(std::string_view bytes) {
  return [bytes](platform::NewFile& file) { return file.Write(bytes) == platform::Status::Ok; };
}

// A mapped source is let go as soon as its bytes are written, before the output takes
// its name: a file mapped into memory cannot be replaced on Windows.
Producer ReleasingAfter(Producer produce, std::shared_ptr<const platform::MappedFile>& mapped) {
  if (!mapped) return produce;
  return [produce = std::move(produce), &mapped](platform::NewFile& file) {
    if (!mapped) return false;  // the bytes are gone; never asked for twice
    const bool written = produce(file);
    mapped.reset();
    return written;
  };
}

Producer ProducerOf(ConversionPlan& plan, LossWatch* watch) {
  using Content = ConversionPlan::Content;
  switch (plan.content) {
    case Content::SourceCopied: return ReleasingAfter(WriteAll(plan.source.Rest()), plan.source.mapped);
    case Content::SourceStreamed:
      return ReleasingAfter(StreamedProducer(plan.source.Rest(), plan.from, plan.to, plan.mark, watch, plan.zeroFree),
                            plan.source.mapped);
    case Content::WorkingStreamed:
      return StreamedProducer(plan.working, plan.from, plan.to, plan.mark, watch, /*zeroFree=*/true);
    case Content::Held: return WriteAll(plan.held);
    case Content::None: break;
  }
  return [](platform::NewFile&) { return false; };
}

// A source that came compressed is written compressed: the name says gzip. A failure to
// compress fails the write like any other.
Producer Compressed(Producer produce) {
  return [produce = std::move(produce)](platform::NewFile& file) {
    GzipWriter gzip(file);
    return produce(gzip) && gzip.Finish() == platform::Status::Ok;
  };
}

Producer OutputOf(ConversionPlan& plan, LossWatch* watch) {
  Producer produce = ProducerOf(plan, watch);
  return plan.gzipOutput ? Compressed(std::move(produce)) : produce;
}

// The final status once the bytes were written (or produced) as `done` says: a loss the
// write found refuses the file over its original; otherwise the losses are counted.
ConvertStatus Finish(ConversionPlan& plan, ConvertStatus done, const TranscodeLosses& losses) {
  if (!plan.NoteLosses(losses, plan.lossRead, plan.lossWrite)) return plan.status;
  plan.status =
      done == ConvertStatus::Converted && plan.report.losses.Any() ? ConvertStatus::ConvertedWithLosses : done;
  return plan.status;
}

// Takes every byte and keeps none.
class DiscardingFile final : public platform::NewFile {
 public:
  platform::Status Write(std::string_view) override { return platform::Status::Ok; }
  platform::Status Close() override { return platform::Status::Ok; }
  void Abandon() override {}
  platform::Status Identify(platform::FileInfo*) override { return platform::Status::Other; }
  platform::Status Flush() override { return platform::Status::Ok; }
  void StartFlush() override {}
  platform::Status ReplaceInto(const std::string&) override { return platform::Status::Ok; }
  platform::Status ReplaceKeeping(const std::string&, const std::string&) override { return platform::Status::Ok; }
  platform::Status MoveInto(const std::string&) override { return platform::Status::Ok; }
};

ConvertStatus PlacementStatus(PutResult result) {
  switch (result) {
    case PutResult::Written: return ConvertStatus::Converted;
    case PutResult::NameTaken: return ConvertStatus::NameTaken;
    case PutResult::Unchanged: return ConvertStatus::Unchanged;
    default: return ConvertStatus::WriteFailed;
  }
}

// What the write would meet at the output's place, in the order the write meets it: an
// output known to exist is judged before anything is produced, any other after (when
// the move that replaces nothing finds the name taken). A name an earlier file of a
// dry run would take counts as taken.
ConvertStatus PreviewWrite(ConversionPlan& plan, LossWatch* watch) {
  const bool known = plan.guard.outputChecked && plan.guard.outputExists;
  if (known) {
    const ConvertStatus placed = PlacementStatus(MayReplace(plan.outputPath, plan.guard.output, plan.guard));
    if (placed != ConvertStatus::Converted) return placed;
  }
  DiscardingFile nothing;
  // An original is compared as the write compares it.
  const bool original = known && plan.guard.sourceAtStake;
  ComparingFile compared(nothing, original ? MapForComparison(platform::ResolveLinks(plan.outputPath)) : nullptr);
  OutputOf(plan, watch)(compared);
  if (watch->losses.Any() && watch->refuse()) return ConvertStatus::WriteFailed;  // the losses decide
  if (compared.Same()) return ConvertStatus::Unchanged;
  compared.Release();
  if (plan.run && !plan.run->AddPlannedOutput(plan.outputPath)) return ConvertStatus::NameTaken;
  platform::FileInfo existing;
  if (known || platform::QueryFile(plan.outputPath, &existing) != platform::Status::Ok) {
    return ConvertStatus::Converted;
  }
  return PlacementStatus(MayReplace(plan.outputPath, existing, plan.guard));
}

}  // namespace

ConvertStatus Execute(ConversionPlan& plan) {
  if (plan.status != ConvertStatus::Converted) return plan.status;
  // The file's own bytes, while the plan holds them (not decompressed, not given up for
  // a working text): what a write over the original compares with.
  const bool rawHeld = (plan.content == ConversionPlan::Content::SourceCopied ||
                        plan.content == ConversionPlan::Content::SourceStreamed) &&
                       !plan.source.wasGzipped;
  const std::string_view sourceBytes = rawHeld ? plan.source.Content() : std::string_view();
  plan.guard.sourceBytes = rawHeld ? &sourceBytes : nullptr;
  LossWatch watch;
  watch.refuse = [&plan] { return plan.OverOriginal(); };
  const ConvertStatus written =
      WriteResult(plan.outputPath, OutputOf(plan, &watch), plan.guard, plan.removeSource, &plan.pendingReplace);
  plan.guard.sourceBytes = nullptr;
  return Finish(plan, written, watch.losses);
}

ConvertStatus Preview(ConversionPlan& plan) {
  if (plan.status != ConvertStatus::Converted) return plan.status;
  LossWatch watch;
  watch.refuse = [&plan] { return plan.OverOriginal(); };
  const ConvertStatus placed = PreviewWrite(plan, &watch);
  return Finish(plan, placed, watch.losses);
}

}  // namespace cw
