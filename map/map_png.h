// Writing a drawn map to a PNG file through the system's image codecs (WIC).
#pragma once

#include <cstdint>
#include <string>

namespace lurmo {

enum class PngResult { kWritten, kNoCodec, kWriteFailed };

// Pixels are 0x00RRGGBB, top row first. kNoCodec where the system has no imaging
// factory or no PNG encoder; kWriteFailed when the file cannot be made or written.
PngResult WriteMapPng(const std::wstring& path, const uint32_t* pixels, int width, int height);

}  // namespace lurmo
