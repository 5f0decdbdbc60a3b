// One file's conversion as values: the request (what the user asked for this file), the
// plan (everything the conversion decides, found by reading the source only), and its
// execution (the plan written with the safe protocol). A dry run is a plan previewed,
// never executed, so it cannot disagree with the run.
#pragma once

#include <string>

#include "convert/folder_evidence.h"
#include "convert/options.h"
#include "convert/reading.h"
#include "convert/run_record.h"
#include "convert/safe_write.h"
#include "convert/status.h"

namespace cw {

// Everything one file's conversion needs.
struct ConversionRequest {
  std::string source;  // full path of the file to convert
  // The full path to write, before a file-name conversion: the source itself when
  // overwriting, otherwise a path in the output folder tree.
  std::string output;
  ConversionOptions options;  // the two encodings are the pass's
  // The other files of the pass, for a file whose automatic reading is a close call,
  // and this file's place among them.
  FolderEvidence* evidence = nullptr;
  size_t evidenceIndex = 0;
  // A run that can be undone (a batch run): an original it replaces is kept aside.
  bool keepForUndo = false;
  // Where the replace of the original by its conversion may wait to be flushed with
  // others (a batch run that renames nothing); null: made at once.
  ReplaceGroup* replaceGroup = nullptr;
};

// What converting one file will do. `status` is the refusal the plan found, or
// Converted while nothing stands in the way.
struct ConversionPlan {
  ConversionRequest request;
  ConvertStatus status = ConvertStatus::Converted;
  std::string outputPath;     // where the output goes (after a file-name conversion)
  bool removeSource = false;  // overwriting under a new name: the old name goes afterwards
  ConvertReport report;
  WriteGuard guard;
  RunRecord* run = nullptr;
  // Set by Execute when the replace waits for its group: Converted is then only so far.
  std::shared_ptr<ReplaceOutcome> pendingReplace;

  // How the output's bytes come about: the source's bytes streamed into the output
  // charset or copied as they are (no working text is needed), the working text
  // streamed into the output charset, or bytes already encoded.
  enum class Content { None, SourceStreamed, SourceCopied, WorkingStreamed, Held };
  Content content = Content::None;
  SourceRead source;
  std::string working;
  std::string held;
  Charset from = Charset::Unknown;
  Charset to = Charset::Unknown;
  std::string mark;         // the byte-order mark written first
  bool zeroFree = true;     // the streamed text is known to hold no zero character
  bool gzipOutput = false;  // the source came compressed: the output is compressed again
  // The charsets a loss found while writing is blamed on (undecodable, unencodable).
  std::string lossRead;
  std::string lossWrite;

  // Whether the output is the original itself, by identity and not by spelling (the
  // same path written otherwise, or a link that leads back to it); asked of the file
  // system once, when first needed.
  bool OutputIsSource();
  // Whether the original is at stake: overwriting, or an output that is the original.
  bool OverOriginal() { return request.options.overwriteOriginal || OutputIsSource(); }
  // Records losses in the report; false (and the plan refused) when they would be
  // written over the original.
  bool NoteLosses(const TranscodeLosses& losses, const std::string& readCharset, const std::string& writeCharset);
  void Refuse(ConvertStatus refusal) { status = refusal; }
};

// Decides the conversion, reading the source (and the output's identity where it
// matters). With a run record, a file the run met already is refused as Duplicate.
ConversionPlan PlanConversion(ConversionRequest request, RunRecord* run = nullptr);
// Carries the plan out; the final status (the plan's refusal if it has one).
ConvertStatus Execute(ConversionPlan& plan);
// What Execute would give, with nothing written: the output is produced into nothing,
// and its place is looked at as the write would find it.
ConvertStatus Preview(ConversionPlan& plan);

// The encoding the output is written in: the chosen one, or for Auto the one the file
// was read as; the Big5 options give Big5 (简体到Big5, 繁体到Big5: for Auto and ANSI) and
// ANSI (Big5到简体, Big5到繁体: for Auto).
EncodingChoice OutputEncodingOf(const ConversionOptions& options, EncodingChoice readAs);

// The bytes written for the working text: encodings 2-6 through the transcoder, with
// the mark of 2, 3 and 4 unless withoutBom; the working bytes when the encoding is 0 or
// 1 or the transcoder gives nothing.
std::string EncodeOutput(std::string_view text, EncodingChoice encoding, bool withoutBom,
                         TranscodeLosses* losses = nullptr);

// The failure status of a gzip input whose decompression did not complete.
ConvertStatus GzipFailure(GunzipStatus status);
// The encoding a source decided by ReadSource is read as (ANSI when nothing else was
// found).
EncodingChoice ReadAs(const SourceRead& source);

}  // namespace cw
