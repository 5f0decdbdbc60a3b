// chengwen-cli batch: the window's batch run over an in-memory main window whose
// controls are set from the command line, showing the status line as it goes.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "batch/parallel_pass.h"
#include "cli/cli_util.h"
#include "cli/command.h"
#include "cli/option_parsing.h"
#include "encoding/charset.h"
#include "form/main_window.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::cli {
namespace {

constexpr const char* kUsage =
    "batch [--in ENC] [--out ENC] [--script S] [--eol E] [--no-bom] [--rename] [--overwrite] "
    "[--filter PATTERN] [--recursive] [--dry-run] [--list] [--jobs N] FOLDER | ... --files FILE...";

// The folder picker and the file dialog answer with what the command line named.
class CommandLineDialogs : public batch::Dialogs {
 public:
  std::string folder;
  std::vector<std::string> files;

  std::string BrowseForFolder(const std::string&, const std::string&) override { return folder; }
  std::vector<std::string> OpenFiles(const std::string&, const std::string&, const std::string&, uint32_t) override {
    return files;
  }
  int Ask(const std::string&, const std::string&, uint32_t) override { return batch::kAnswerOk; }
};

using Id = form::ControlId;

// The window comes from the table, so every control is there.
form::Control& ControlOf(form::Window& window, Id id) { return *form::Find(window, id); }

void SetControls(form::Window& window, const ConversionOptions& options, const std::string* filter, bool recursive) {
  // In the order of EncodingChoice.
  static const Id kInputs[] = {Id::InputAuto, Id::InputAnsi, Id::InputUtf8, Id::InputUtf16Le, Id::InputUtf16Be};
  static const Id kOutputs[] = {Id::OutputAuto, Id::OutputAnsi, Id::OutputUtf8, Id::OutputUtf16Le, Id::OutputUtf16Be};
  // In the order of ScriptConversion.
  static const Id kScripts[] = {Id::NoScript,         Id::SimplifiedToTraditional, Id::TraditionalToSimplified,
                                Id::SimplifiedToBig5, Id::TraditionalToBig5,       Id::Big5ToSimplified,
                                Id::Big5ToTraditional};
  ControlOf(window, kInputs[static_cast<int>(options.inputEncoding)]).SetChecked(true);
  ControlOf(window, kOutputs[static_cast<int>(options.outputEncoding)]).SetChecked(true);
  ControlOf(window, kScripts[static_cast<int>(options.scriptConversion)]).SetChecked(true);
  ControlOf(window, Id::LineEndings).SetSelection(static_cast<int>(options.lineEndings));
  ControlOf(window, Id::WithoutBom).SetChecked(options.withoutBom);
  ControlOf(window, Id::ConvertFileName).SetChecked(options.convertFileName);
  ControlOf(window, Id::Overwrite).SetChecked(options.overwriteOriginal);
  ControlOf(window, Id::SubFolders).SetChecked(recursive);
  if (filter) ControlOf(window, Id::FilterBox).SetContent(TextFromArg(*filter));
}

// On a terminal the file captions redraw one line with a bar; elsewhere every caption
// is a line of its own.
class StatusPrinter {
 public:
  explicit StatusPrinter(form::Control& progress) : progress_(progress), terminal_(isatty(STDOUT_FILENO) != 0) {}
  ~StatusPrinter() {
    if (barShown_) std::fputc('\n', stdout);
  }

  // A line of its own, after the bar if one is shown.
  void Line(const std::string& text) {
    if (barShown_) std::fputc('\n', stdout);
    barShown_ = false;
    std::printf("%s\n", text.c_str());
  }

  void Show(const std::string& caption) {
    const std::string shown = TextForDisplay(caption);
    if (!terminal_) {
      std::fwrite(shown.data(), 1, shown.size(), stdout);
      std::fputc('\n', stdout);
      return;
    }
    const bool fileStep = !caption.empty() && caption[0] == '(';
    if (!fileStep) {
      if (barShown_) std::fputc('\n', stdout);
      barShown_ = false;
      std::printf("%s\n", shown.c_str());
      return;
    }
    constexpr int kWidth = 30;
    const int maximum = progress_.ProgressMaximum();
    const int filled =
        maximum > 0 ? static_cast<int>(static_cast<long long>(progress_.ProgressPosition()) * kWidth / maximum) : 0;
    std::printf("\r[%s%s] %s\x1b[K", std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), shown.c_str());
    std::fflush(stdout);
    barShown_ = true;
  }

 private:
  form::Control& progress_;
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

int RunBatchCommand(const Args& args) {
  ConversionOptions options;
  std::vector<std::string> positional;
  std::string error;
  std::string filter;
  std::string recursive;
  std::string filesMode;
  std::string dryRun;
  std::string listAlways;
  std::string jobsText;
  const std::vector<ExtraFlag> extra = {{"--filter", true, &filter},    {"--recursive", false, &recursive},
                                        {"--files", false, &filesMode}, {"--dry-run", false, &dryRun},
                                        {"--list", false, &listAlways}, {"--jobs", true, &jobsText}};
  int jobs = batch::DefaultJobCount();
  if (!ParseConversionOptions(args, &options, &positional, &error, extra) ||
      (!jobsText.empty() && !ParseJobCount(jobsText, &jobs, &error))) {
    std::fprintf(stderr, "chengwen-cli batch: %s\nusage: chengwen-cli %s\n", error.c_str(), kUsage);
    return 2;
  }
  const bool listMode = !filesMode.empty();
  if (positional.empty() || (!listMode && positional.size() != 1)) {
    std::fprintf(stderr, "usage: chengwen-cli %s\n", kUsage);
    return 2;
  }

  CommandLineDialogs dialogs;
  if (listMode) {
    for (const std::string& arg : positional) dialogs.files.push_back(PathFromArg(arg));
  } else {
    dialogs.folder = FolderFromArg(positional[0]);
    const uint32_t attributes = platform::GetAttributes(dialogs.folder);
    if (attributes == platform::kInvalidAttributes || !(attributes & platform::kAttrDirectory)) {
      std::fprintf(stderr, "chengwen-cli batch: %s: not a folder\n", positional[0].c_str());
      return 2;
    }
  }

  std::unique_ptr<form::MemoryWindow> window = form::NewMainWindow();
  // An empty filter lists "*.*", which is also the box's default.
  SetControls(*window, options, filter.empty() ? nullptr : &filter, !recursive.empty());
  batch::BatchJob job(*window, dialogs);
  job.SetJobs(jobs);
  StatusPrinter printer(ControlOf(*window, Id::ProgressBar));
  job.SetStatusObserver([&printer](const std::string& caption) { printer.Show(caption); });
  // How each file was read, and what became of it when that is not a plain conversion.
  if (dryRun.empty())
    job.SetFileObserver([&printer](const batch::FileOutcome& outcome) {
      std::string line = "  " + TextForDisplay(outcome.source) + ": " + EncodingChoiceName(outcome.report.detected);
      if (!outcome.report.howRead.empty()) line += " (" + outcome.report.howRead + ")";
      if (outcome.status != ConvertStatus::Converted) line += "; " + ConvertStatusText(outcome.status, outcome.report);
      printer.Line(line);
    });
  if (listMode) {
    job.OnListButtonClick(!dryRun.empty());
  } else {
    job.OnFolderButtonClick(!dryRun.empty());
  }
  const batch::BatchState& state = job.State();
  if (!state.dryRun) {
    for (const batch::FailedFile& file : state.failures) {
      printer.Line("failed: " + PathForDisplay(file.path) + ": " + ConvertStatusName(file.status));
    }
    printer.Line("converted: " + std::to_string(state.converted) + " (with losses: " +
                 std::to_string(state.convertedWithLosses) + "), failed: " + std::to_string(state.failed));
  }
  // The result list, as the window shows it: after a dry run, after failures, or when
  // asked for.
  if (state.dryRun || state.failed > 0 || !listAlways.empty()) {
    std::string list = batch::ResultsText(state.results, state.dryRun);
    std::string lines;
    for (char c : list) {
      if (c != '\r') lines += c;
    }
    const std::string shown = TextForDisplay(lines);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
  }
  return state.failed == 0 ? 0 : 1;
}

}  // namespace

CW_CLI_COMMAND(batch, "batch", kUsage, RunBatchCommand);

}  // namespace cw::cli
