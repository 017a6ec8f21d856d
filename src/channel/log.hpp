// The daily diagnostic log: one file per local calendar day, one masked record per call.
#pragma once

#include <string>
#include <string_view>

#include "channel/log_mask.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::channel {

// Appends one record to today's file; a failure to open or write is a RuntimeError.
void WriteLog(const std::string& text);

// "QUANDEL STK API Log_2026-12-4.txt" in the log folder.
std::string LogFilePath(const std::string& folder, const DateTime& day);
// The banner line, the masked text, CR LF.
std::string FormatLogRecord(std::string_view masked_text, const DateTime& now);

// Appends the bytes to the file in one write, creating it when missing; a failure to open or write
// is a RuntimeError naming the file.
void AppendToLogFile(const std::string& path, std::string_view bytes);

}  // namespace quandelstk::channel
