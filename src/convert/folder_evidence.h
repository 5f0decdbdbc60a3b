// The other files of a folder as evidence for one whose automatic reading is a close
// call: a folder of short GBK files, each too short to tell GBK from Big5 alone, is
// read as the folder is.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "convert/options.h"
#include "encoding/charset.h"

namespace cw {

class FolderEvidence {
 public:
  // The files of one pass (which must outlive this), read with the pass's input choice.
  FolderEvidence(const std::vector<std::string>& files, EncodingChoice input);

  // How the pass's file at `index` read, as its plan found it (before anything of the
  // pass may have been written over it): a sure reading, or the bytes of an unsure one.
  void Note(size_t index, EncodingChoice encoding, bool sure, std::string_view bytes);

  // The encoding the files that read with confidence were read as (the most of them,
  // among GBK, Big5 and Big5-HKSCS); failing that, what all the unsure files' bytes
  // together read as with confidence. Auto when the folder tells nothing. Worked out
  // once, on the first call, from what was noted and from the files not yet noted as
  // they are on disk; safe from several threads.
  EncodingChoice Hint();

 private:
  struct Reading {
    bool noted = false;
    bool sure = false;
    EncodingChoice encoding = EncodingChoice::Auto;
    std::string bytes;  // of an unsure reading, up to what the pool takes
  };
  void AddToPool(std::string_view bytes);

  const std::vector<std::string>& files_;
  EncodingChoice input_;
  std::mutex mutex_;
  std::vector<Reading> readings_;
  size_t pooled_ = 0;
  bool decided_ = false;
  EncodingChoice hint_ = EncodingChoice::Auto;
};

}  // namespace cw
