// The file-list data object that carries files to the clipboard and into a drag, and the
// readers of file lists that come from other programs.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <string>
#include <vector>

#include "engine/handles.h"

namespace lurmo {

// A CDataObject with room for `capacity` format entries and none in use, reference count
// 1; null when memory runs out.
IDataObject* NewDataObject(int capacity);
// Data objects alive in this process (created and not yet released for the last time).
long CountLiveDataObjects();

// The drop-file block (DROPFILES, UTF-16 list) of the result list's selected rows, each
// the target followed by the row's name. Empty after a message when a path does not fit
// MAX_PATH or memory runs out.
unique_hglobal BuildDropFileList();
// A 4-byte block holding the effect; empty after a message when memory runs out.
unique_hglobal MakeDropEffectBlock(DWORD effect);
// A file-list data object of the selection: CF_HDROP and, with a non-zero effect, the
// "Preferred DropEffect" block. Null after a message when it cannot be made.
com_ptr<IDataObject> MakeSelectionDataObject(int capacity, DWORD effect);

// The id of the "Preferred DropEffect" clipboard format.
UINT DropEffectFormat();
// The FORMATETC of a format as a global memory block.
FORMATETC GlobalFormat(CLIPFORMAT format);

// The paths of a DROPFILES block of `size` bytes, read through its pFiles and fWide and
// never past its end; a path without its terminator is left out.
std::vector<std::wstring> ParseDropFiles(const BYTE* block, size_t size);
// The paths of the data object's CF_HDROP; the failure of GetData when it offers none.
HRESULT ReadDroppedPaths(IDataObject* data, std::vector<std::wstring>& paths);
// The data object's "Preferred DropEffect"; false when it has no 4-byte block of it.
bool ReadPreferredEffect(IDataObject* data, DWORD& effect);

}  // namespace lurmo
