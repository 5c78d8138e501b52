// What grew: in file-operation mode each row keeps its size from the end of the run that
// listed it (its baseline), and the change column after the date shows how far the live
// size has moved from it. Rows listed after the run are new: all their size is growth.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "engine/entries.h"

namespace lurmo {

// Drawn in the change cell only; both read on the list's default white background.
constexpr COLORREF kGrowthColor = RGB(192, 0, 0);
constexpr COLORREF kShrinkColor = RGB(0, 112, 192);

// The row's signed change: its size since its baseline, all of it for a new row.
int64_t RowChange(const RowEntry& entry);
// A signed change in the list's unit and number format ("+1,048,576", "-8,192"); empty
// for no change.
std::wstring FormatChange(int64_t change, int unit, bool comma);
// The change cell of a row: as FormatChange, and a new row reads "新規 " before its
// growth, "+0" when it is empty.
std::wstring ChangeCellText(const RowEntry& entry, int unit, bool comma);
// The colour of a row's change cell; nothing when it shows no change.
std::optional<COLORREF> ChangeColor(const RowEntry& entry);

// Inserts or removes the change column to match the mode in effect and the setting.
void ApplyChangeColumn();
void ToggleChangeColumn();
// Writes the change cell of one row, or of every row; nothing while the column is absent.
void RewriteChangeCell(const RowEntry* entry, int row);
void RewriteChangeColumn();
// Starts a run's listing without baselines: rows it lists take their size as baseline.
void ForgetBaselines();
// Ends a run: the grand total of this moment is the total to compare with, unless the run
// measured a listing afresh whose baselines were carried into it.
void TakeRunBaseline(unsigned run);
// Before the watch's measuring afresh of the same target: the next run's rows keep the
// baselines of the rows of the same name, and a row not listed now is new.
void CarryBaselinesIntoNextRun();
// After that run was asked for: forgets what was carried if no run took it.
void DropUnclaimedBaselines();
// Makes every row's current size its baseline ("基準を今に").
void ResetBaselinesToNow();
// " (+1,040,384)" after the status bar's total; empty when nothing changed, before a run
// ended, or while the column is hidden.
std::wstring NetChangeSuffix();
// Puts the two change items into the View menu in file-operation mode, takes them out in
// snapshot mode, and marks them.
void SyncChangeMenu(HMENU view);

}  // namespace lurmo
