// The result list: its columns, the rows written from the row records, the percent
// column and the status bar. Rows may be written from the worker's thread; every list
// operation is a SendMessageW and so runs on the user-interface thread in call order.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/entries.h"
#include "engine/size_rule.h"

namespace lurmo {

void CreateResultColumns();
// Inserts or removes the bar-graph column to match the value in effect, and sets the
// date column index.
void ApplyBarGraphColumn();

void AppendFileRow(FileEntry* entry);
void AppendFolderRow(FolderEntry* entry);
void AppendSnapshotRow(SnapshotEntry* entry);

// The record behind a row, or null.
RowEntry* RowEntryAt(int row);
// Releases the record of a deleted row by the layout of the current listing.
void ReleaseDeletedRow(LPARAM entry);

void RewriteSizeCell(const RowEntry* entry, int row);
// Re-measures a file's row from fresh find data; params.path holds its full path.
uint64_t UpdateFileRow(RunParameters& params, const WIN32_FIND_DATAW& data, FileEntry* entry, int row);
void UpdateFolderRow(const WIN32_FIND_DATAW& data, FolderEntry* entry, int row);
void RewriteSizeColumn();
void SetSizeUnit(int unit);
void ToggleComma();
void RefreshPercentages();
void RefreshStatusBar();
// Sets the two status-bar parts of the idle look: edges 150 and the client width.
void SetStatusBarParts();
int FindRowByName(const std::wstring& name);

// Menu marks of the unit popup and the comma item.
void MarkUnitMenu(HMENU popup);
void MarkCommaItem(HMENU menu);

std::wstring CellText(int row, int column);

}  // namespace lurmo
