// chengwen-cli batch: the window's batch run with the options of the command line,
// showing the status line as it goes.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "batch/parallel_pass.h"
#include "cli/cli_util.h"
#include "cli/command.h"
#include "cli/console.h"
#include "cli/option_parsing.h"
#include "encoding/charset.h"
#include "form/main_window.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::cli {
namespace {

constexpr const char* kUsage =
    "batch [--in ENC] [--out ENC] [--script S] [--eol E] [--no-bom] [--rename] [--overwrite] [--keep-declarations] "
    "[--filter PATTERN] [--recursive] [--dry-run] [--list] [--jobs N] FOLDER | ... --files FILE...";

// The options of the run are the flags: the same at every moment the run reads them.
class FlagSettings : public batch::RunSettings {
 public:
  FlagSettings(const ConversionOptions& options, std::string filter, bool recursive)
      : options_(options), filter_(std::move(filter)), recursive_(recursive) {}
  void PassEncodings(EncodingChoice* input, EncodingChoice* output) const override {
    *input = options_.inputEncoding;
    *output = options_.outputEncoding;
  }
  std::string Filter() const override { return filter_; }
  bool SubFolders() const override { return recursive_; }
  ConversionOptions FileOptions() const override { return options_; }
  bool Overwrite() const override { return options_.overwriteOriginal; }

 private:
  ConversionOptions options_;
  std::string filter_;
  bool recursive_;
};

// On a terminal the file captions redraw one line with a bar; elsewhere every caption
// is a line of its own.
class StatusPrinter : public batch::RunView {
 public:
  StatusPrinter() : terminal_(OutputRedraws()) {}
  ~StatusPrinter() {
    if (barShown_) Out("\n");
  }

  // A line of its own, after the bar if one is shown.
  void Line(const std::string& text) {
    Out(barShown_ ? "\n" + text + "\n" : text + "\n");
    barShown_ = false;
  }

  void SetProgressMaximum(int maximum) override { maximum_ = maximum; }
  void SetProgressPosition(int position) override { position_ = position; }
  void SetOutputFolder(const std::string&) override {}

  // A caption holds names (a file's, a folder's): escaped, so that none can end the line.
  void ShowStatus(const std::string& caption) override {
    const std::string shown = TextForLine(caption);
    const bool fileStep = !caption.empty() && caption[0] == '(';
    if (!terminal_ || !fileStep) {
      Line(shown);
      return;
    }
    constexpr int kWidth = 30;
    const int filled =
        maximum_ > 0 ? static_cast<int>(static_cast<long long>(std::min(position_, maximum_)) * kWidth / maximum_) : 0;
    Out("\r[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kWidth - filled), ' ') +
        "] " + shown + "\x1b[K");
    std::fflush(stdout);
    barShown_ = true;
  }

 private:
  int maximum_ = 0;
  int position_ = 0;
  bool terminal_;
  bool barShown_ = false;
};

// "dir/" names the folder itself, not a drive root: its output goes beside it.
std::string FolderFromArg(const std::string& arg) {
  std::string folder = PathFromArg(arg);
  // Double-byte aware: the last byte of 淺 or 瀄 is 5C and no backslash.
  while (folder.size() > 3 && text::FindLast(folder, "\\") == folder.size() - 1) folder.pop_back();
  return folder;
}

// What the command line asked for.
struct BatchFlags {
  ConversionOptions options;
  std::string filter;
  bool recursive = false;
  bool dryRun = false;
  bool listAlways = false;
  int jobs = 1;
  std::string folder;              // folder mode
  std::vector<std::string> files;  // --files
};

// The flags, or a message on standard error and false.
bool ParseBatchFlags(const Args& args, BatchFlags* flags) {
  std::vector<std::string> positional;
  std::string error, filter, recursive, filesMode, dryRun, listAlways, jobsText;
  const std::vector<ExtraFlag> extra = {{"--filter", true, &filter},    {"--recursive", false, &recursive},
                                        {"--files", false, &filesMode}, {"--dry-run", false, &dryRun},
                                        {"--list", false, &listAlways}, {"--jobs", true, &jobsText}};
  flags->jobs = batch::DefaultJobCount();
  if (!ParseConversionOptions(args, &flags->options, &positional, &error, extra) ||
      (!jobsText.empty() && !ParseJobCount(jobsText, &flags->jobs, &error))) {
    std::fprintf(stderr, "chengwen-cli batch: %s\nusage: chengwen-cli %s\n", error.c_str(), kUsage);
    return false;
  }
  const bool listMode = !filesMode.empty();
  if (positional.empty() || (!listMode && positional.size() != 1)) {
    std::fprintf(stderr, "usage: chengwen-cli %s\n", kUsage);
    return false;
  }
  // An empty filter lists what the window's filter box holds at first: "*.*".
  flags->filter = filter.empty() ? form::SpecOf(form::ControlId::FilterBox).content : TextFromArg(filter);
  flags->recursive = !recursive.empty();
  flags->dryRun = !dryRun.empty();
  flags->listAlways = !listAlways.empty();
  if (listMode) {
    for (const std::string& arg : positional) flags->files.push_back(PathFromArg(arg));
    return true;
  }
  flags->folder = FolderFromArg(positional[0]);
  const uint32_t attributes = platform::GetAttributes(flags->folder);
  if (attributes == platform::kInvalidAttributes || !(attributes & platform::kAttrDirectory)) {
    Err("chengwen-cli batch: " + EscapeForLine(positional[0]) + ": not a folder\n");
    return false;
  }
  return true;
}

// The result list as the window shows it, a line per file with tabs between the columns;
// each column escaped, so that a name holding a tab or a line break stays in its place.
std::string ResultLines(const std::vector<batch::FileResult>& results, bool dryRun) {
  std::string lines;
  const auto addLine = [&lines](const std::vector<std::string>& columns) {
    for (size_t i = 0; i < columns.size(); ++i) lines += (i ? "\t" : "") + TextForLine(columns[i]);
    lines += "\n";
  };
  addLine(batch::ResultHeadings());
  for (const batch::FileResult& result : results) addLine(batch::ResultRow(result, dryRun));
  return lines;
}

// The failed files and the counts, then the result list: after a dry run, after failures
// or losses, or when asked for.
void PrintSummary(const batch::BatchState& state, bool listAlways, StatusPrinter& printer) {
  if (!state.dryRun) {
    for (const batch::FailedFile& file : state.failures) {
      std::string line = "failed: " + PathForLine(file.path) + ": " + ConvertStatusName(file.status);
      if (file.cause != platform::Status::Ok) line += std::string(" (") + platform::StatusName(file.cause) + ")";
      printer.Line(line);
    }
    printer.Line("converted: " + std::to_string(state.converted) +
                 " (with losses: " + std::to_string(state.convertedWithLosses) +
                 "), unchanged: " + std::to_string(state.unchanged) + ", failed: " + std::to_string(state.failed));
  }
  if (state.dryRun || state.failed > 0 || state.convertedWithLosses > 0 || listAlways) {
    Out(ResultLines(state.results, state.dryRun));
  }
}

int RunBatchCommand(const Args& args) {
  BatchFlags flags;
  if (!ParseBatchFlags(args, &flags)) return 2;
  const FlagSettings settings(flags.options, flags.filter, flags.recursive);
  StatusPrinter printer;
  batch::BatchState state;
  batch::BatchRun run(state, settings, printer);
  run.SetJobs(flags.jobs);
  // How each file was read, and what became of it when that is not a plain conversion.
  if (!flags.dryRun)
    run.SetFileObserver([&printer](const batch::FileOutcome& outcome) {
      std::string line = "  " + TextForLine(outcome.source) + ": " + EncodingChoiceName(outcome.report.detected);
      if (!outcome.report.howRead.empty()) line += " (" + outcome.report.howRead + ")";
      if (outcome.status != ConvertStatus::Converted) line += "; " + ConvertStatusText(outcome.status, outcome.report);
      if (!outcome.report.uncertain.empty() && IsConverted(outcome.status)) {
        line += "; uncertain (" + outcome.report.uncertain + ")";
      }
      for (const std::string* more : {&outcome.report.declaration, &outcome.report.declarationWarning}) {
        if (!more->empty()) line += "; " + TextForLine(*more);
      }
      printer.Line(line);
    });
  run.Begin(flags.dryRun);
  if (flags.folder.empty()) {
    run.RunList(flags.files);
  } else {
    run.RunFolder(flags.folder);
  }
  run.ShowCompletion();
  PrintSummary(state, flags.listAlways, printer);
  return state.failed == 0 ? 0 : 1;
}

}  // namespace

CW_CLI_COMMAND(batch, "batch", kUsage, RunBatchCommand);

}  // namespace cw::cli
