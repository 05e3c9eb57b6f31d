// Reading WAV files as a signal source: the first channel, as floats.
#pragma once

#include <string>
#include <vector>

namespace lyrhost {

// PCM 8, 16, 24 and 32 bits and IEEE float 32 and 64 bits. False with a
// reason when the file cannot be read or is in another format.
bool read_wav(const std::string& path, std::vector<float>& samples, std::string& error);

}  // namespace lyrhost
