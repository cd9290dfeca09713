#pragma once
// The update's journal: what an interrupted run leaves for the next one to
// finish or undo. It lies in the application's folder, where only
// administrators may write and where every later run finds it. It is written
// whole to a new file, flushed, and put in place with a write-through rename
// before each step it describes.

#include <windows.h>

#include <string>
#include <vector>

#include "engine/file_replacement.h"

enum class JournalState {
    Preparing,  // new files are being made beside the targets; no target touched
    Committing, // targets are being replaced; undone if the run stops here
    Committed,  // every target is new; only clean-up and the records are left
};

struct JournalRow {
    LONG resourceId = 0;
    ReplacementNames names;
};

struct UpdateJournal {
    JournalState state = JournalState::Preparing;
    std::vector<JournalRow> rows;
};

// The journal's file name in the application folder.
inline constexpr const wchar_t* UpdateJournalName = L"ZentrelUpdate.journal";

// The journal as text (UTF-8 lines), and back. Parsing fails, leaving
// `journal` as it was, on anything it does not fully understand.
std::string JournalText(const UpdateJournal& journal);
[[nodiscard]] bool ParseJournal(const std::string& text, UpdateJournal& journal);

// Writes the journal safely (see above). False, with the old journal as it
// was, when anything fails.
[[nodiscard]] bool WriteJournal(const std::wstring& path, const UpdateJournal& journal);

// S_OK with the journal; S_FALSE when there is none; a failure when it
// exists but cannot be read or understood.
[[nodiscard]] HRESULT ReadJournal(const std::wstring& path, UpdateJournal& journal);

// Removes the journal. True when it is gone.
bool RemoveJournal(const std::wstring& path) noexcept;
