// Status codes: the numeric result of a run, as the caller receives it.
//
// 0 success; 1 end of data in a record-at-a-time run; 201-262 errors in
// statements, input and resources; 301-342 failed file operations;
// 10001-10062 operand errors of single statements; 10101 + 100 i + j for a
// forbidden pair of statement flags i < j; 15762 SUM with duplicate options.
#pragma once

#include <cstdint>

namespace zara {

enum Status : uint32_t {
  kOk = 0,
  kEndOfData = 1,
  kBadKeyword = 201,
  kBadPosition = 202,
  kBadLength = 203,
  kBadFieldType = 204,
  kBadOperator = 205,
  kTableFull = 206,
  kBadLiteral = 207,
  kBadConnector = 208,
  kBadDirection = 209,
  kCannotCreateOutput = 210,
  kOutputIsInput = 211,
  kNoInputName = 213,
  kCannotOpenInput = 214,
  kCannotCreateHeaderFile = 215,
  kInputReadError = 216,
  kHeaderTooShort = 217,
  kHeaderWriteError = 218,
  kHeaderShortWrite = 219,
  kInputCloseError = 220,
  kHeaderInputCloseError = 221,
  kNoMemory = 225,
  kInputSkipError = 227,
  kCannotOpenWorkFile = 229,
  kMergeCloseError = 231,
  kOutputWriteError = 240,
  kAltWithoutAltseq = 242,
  kFeWithoutRecord = 243,
  kRecordTooLong = 245,
  kWorkRecordTooLong = 246,
  kHoldTooSmall = 256,
  kSumWithoutSort = 257,
  kBadFunction = 260,
  kNoRaatRun = 261,
  kReleaseAfterReturn = 262,
  kHeaderFileOpenError = 301,
  kHeaderFileReadError = 302,
  kHeaderCopyError = 303,
  kHeaderFileCloseError = 304,
  kOutputCloseError = 307,
  kWorkRenameError = 310,
  kWorkCloseError = 311,
  kWorkRemoveError = 312,
  kWorkReadError = 313,
  kWorkShortBuffer = 314,
  kRecordExceedsOutBuffer = 315,
  kDb3HeaderError = 319,
  kHeaderFileRemoveError = 320,
  kEndMarkWriteError = 321,
  kRepositionError = 322,
  kOutrecKeywordError = 323,
  kProbeCreateError = 329,
  kTooFewFiles = 330,
  kProbeCloseError = 331,
  kProbeRemoveError = 332,
  kNoSortBuffer = 342,
  kAddroutOperand = 10001,
  kBypassOperand = 10002,
  kIncludeOperand = 10003,
  kKeyoutOperand = 10004,
  kLimitOperand = 10005,
  kOmitOperand = 10006,
  kOutrecOperand = 10007,
  kRecordOperand = 10009,
  kSortTextEnds = 10010,
  kFixLength = 10011,
  kFeEofChar = 10012,
  kBtRefused = 10015,
  kGpStrings = 10019,
  kFileTypeOperand = 10033,
  kCoreOperand = 10051,
  kDelimitOperand = 10052,
  kWorkdriveOperand = 10054,
  kAltseqOperand = 10055,
  kDupOperand = 10056,
  kOriginOperand = 10057,
  kOpenmodeOperand = 10058,
  kSumOperand = 10062,
  kConflictBase = 10101,  // + 100 i + j
  kRaatSortOutrec = 10708,
  kSumWithDup = 15762,
};

// The status of a forbidden pair of statement flags i < j.
constexpr uint32_t conflict_status(int i, int j) {
  return kConflictBase + 100u * static_cast<uint32_t>(i) + static_cast<uint32_t>(j);
}

}  // namespace zara
