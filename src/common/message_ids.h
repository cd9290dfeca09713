#pragma once
// Ids of the program's texts in its string tables, one table per language.

#include <windows.h>

constexpr UINT IDS_PROGRAM_CAPTION = 200;
constexpr UINT IDS_ALREADY_RUNNING = 1201;
constexpr UINT IDS_NO_TARGET = 1202;
constexpr UINT IDS_NOTHING_TO_UPDATE = 1203;
constexpr UINT IDS_UPDATE_SUCCEEDED = 1210;
constexpr UINT IDS_UPDATE_FAILED = 1213; // format string: one "%08x" for the result
constexpr UINT IDS_PROGRAMS_RUNNING = 1215;
constexpr UINT IDS_UNSUPPORTED_SYSTEM = 1216;
constexpr UINT IDS_NOT_APPLICABLE = 1217;
constexpr UINT IDS_SAME_VERSION = 1218;
constexpr UINT IDS_NOT_ADMINISTRATOR = 1219;
constexpr UINT IDS_PLEASE_WAIT = 1230;
