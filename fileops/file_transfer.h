// Copying or moving the files of a data object into a folder: the work behind paste and
// behind a drop on the result list.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

namespace lurmo {

// Results of TransferDroppedFiles besides the shell's own codes and a failed GetData.
constexpr DWORD kTransferDone = 0;
constexpr DWORD kTransferOutOfMemory = 1;
constexpr DWORD kTransferNoFiles = ERROR_INVALID_DATA;              // no usable file name
constexpr DWORD kTransferCancelled = ERROR_CANCELLED;               // the shell or the user stopped it
constexpr DWORD kTransferNoDestination = ERROR_PATH_NOT_FOUND;      // the folder is gone
constexpr DWORD kTransferPathTooLong = ERROR_FILENAME_EXCED_RANGE;
constexpr DWORD kTransferIntoItself = 0x76;                         // the shell's own code for it
constexpr DWORD kTransferNotMoved = 0x402;                          // an item is still where it was
constexpr DWORD kTransferIncomplete = ERROR_DISK_FULL;              // an item did not arrive whole
constexpr DWORD kTransferSameNames = ERROR_ALREADY_EXISTS;          // two sources share a name
constexpr DWORD kTransferNameAltered = ERROR_INVALID_NAME;          // a name the path rules would change

// Copies (effect 1) or moves (effect 2) the data object's files into the destination
// folder; effect 0 takes the data object's "Preferred DropEffect", copy when it has
// none. 0 when done (every item arrived whole and, for a move, left its place), or when
// the effect asks for neither (a link only).
DWORD TransferDroppedFiles(DWORD requestedEffect, IDataObject* data, const std::wstring& destination);

// The same for paths already in hand (copy or move to a chosen folder), under the same
// checks: no destination inside a moved folder, no silent replacing by a move.
DWORD TransferFiles(DWORD effect, const std::vector<std::wstring>& sources, const std::wstring& destination);

// The answer of a drop for a transfer's result: S_OK for done, a failure code otherwise.
HRESULT TransferResultToHresult(DWORD result);

}  // namespace lurmo
