// The texts the batch shows: button captions, status lines, dialog titles and questions,
// each in the working code page and compared byte for byte.
#pragma once

#include <string>

namespace cw::batch {

struct BatchTexts {
  std::string folderIdle;  // the folder button's three captions begin with a blank
  std::string folderRunning;
  std::string folderStopping;
  std::string listIdle;
  std::string listRunning;
  std::string listStopping;
  std::string reading;   // "正在读取目录：" + folder
  std::string complete;  // "转换完成！点击可打开目录：" + output folder
  // "（" + converted + convertedTail [+ lossesHead + losses + lossesTail]
  // [+ unchangedHead + unchanged + unchangedTail] [+ failedHead + failed + failedTail]
  // + countsTail, when a file failed, lost something or was left as it was.
  std::string countsHead;
  std::string convertedTail;
  std::string lossesHead;
  std::string lossesTail;
  std::string unchangedHead;
  std::string unchangedTail;
  std::string failedHead;
  std::string failedTail;
  std::string countsTail;
  // A stopped run says so first: "已停止：完成 " + done + "/" + found + stoppedTail + output
  // folder, in place of `complete`.
  std::string stoppedHead;
  std::string stoppedTail;
  std::string noMatch;      // the run found no file to convert
  std::string dropRefused;  // a drop while a run is in progress
  std::string dryRunHead;   // + files + dryRunMiddle + blocked + dryRunTail
  std::string dryRunMiddle;
  std::string dryRunTail;
  std::string resultsHead;  // + failed and lossy + resultsTail: the question after them
  std::string resultsTail;
  std::string resultsTitle;
  // After an overwrite run with nothing failed or lost: the question that offers the list
  // all the same, since the list is where the run can be undone.
  std::string undoableResults;
  std::string undoButton;    // the result list's button
  std::string undoQuestion;  // its confirmation, titled undoButton
  // "已撤销：恢复 " + restored + undoneTail [+ undoChangedHead + changed + undoChangedTail]
  // [+ undoFailedHead + failed + undoFailedTail]
  std::string undoneHead;
  std::string undoneTail;
  std::string undoChangedHead;
  std::string undoChangedTail;
  std::string undoFailedHead;
  std::string undoFailedTail;
  std::string marker;           // "(已转换)"
  std::string folderTitleHead;  // + filter + folderTitleTail
  std::string folderTitleTail;
  std::string listTitle;
  std::string openFilter;
  std::string dropHead;  // + files + dropFiles [+ dropAnd + folders + dropFolders] + dropTail
  std::string dropFiles;
  std::string dropAnd;
  std::string dropFolders;
  std::string dropTail;
  std::string dropTitle;
};

// Built once, on first use.
const BatchTexts& Texts();

}  // namespace cw::batch
