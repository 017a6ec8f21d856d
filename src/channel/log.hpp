// The daily diagnostic log: one file per local calendar day, one masked record per call.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "quandelstk/platform.hpp"

namespace quandelstk::channel {

// Replaces every AT command name and result word by its code "Q24>" index, tokens in index order.
std::string MaskLogText(std::string_view text);

// Appends one record to today's file; a failure to open or write is a RuntimeError.
void WriteLog(const std::string& text);

// Appends several records as WriteLog would one by one (each with its own banner and its own day's
// file), in one write per file: the 7-bit decoder's trace costs one open instead of one per record.
void WriteLogs(const std::vector<std::string>& texts);

// "QUANDEL STK API Log_2026-12-4.txt" in the log folder.
std::string LogFilePath(const std::string& folder, const DateTime& day);
// The banner line, the masked text, CR LF.
std::string FormatLogRecord(std::string_view masked_text, const DateTime& now);

// The mask tokens, in the order they are applied.
const std::vector<std::string>& MaskTokens();

}  // namespace quandelstk::channel
