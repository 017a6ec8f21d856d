// Records bound for the daily log, formatted straight into one buffer and appended with one write
// per file: what the 7-bit trace needs to write a hundred records for the price of a few.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "quandelstk/platform.hpp"

namespace quandelstk::channel {

// The files receive exactly what writing the records one by one gives. The date and time are read
// when the batch begins, and a batch of several records reads them once more when it is written:
// when the second is still the same, every record was formatted within it and carries it; when the
// clock has turned over, the records are stamped again one by one, each with a reading of its own
// as it goes into the file, the way one write per record stamps them.
class LogBatch {
 public:
  // Empties the batch and reads the date and time on the thread's platform.
  void Begin();

  // Adds the record of a text, masked.
  void Add(std::string_view text);

  // Adds the record of a text that holds no mask token (see MaskTokenFreePrefix), written by the
  // caller straight into the batch: there is room for `most` characters from the returned pointer,
  // and EndUnmaskedRecord takes the end of what was written.
  char* StartUnmaskedRecord(std::size_t most);
  void EndUnmaskedRecord(char* end);

  // Appends the records to the day's file (a failure is a RuntimeError) and empties the batch.
  void Write();

 private:
  void Empty();
  void Restamp(Platform& platform, const std::string& folder, DateTime now);

  std::string buffer_;  // the records from 0 to used_; beyond, room that is written over
  std::size_t used_ = 0;
  std::vector<std::size_t> starts_;  // where each record's banner begins
  DateTime first_;                   // the reading every record's banner shows
  DateTime banner_time_;
  std::string banner_;  // the banner line of banner_time_, CR LF included
};

}  // namespace quandelstk::channel
