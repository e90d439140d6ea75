#pragma once

#include <cstddef>
#include <string_view>

namespace TagLib {
class File;
namespace MPEG {
class File;
}
}  // namespace TagLib

// What makes a file MPEG audio: frames one after another from the start of
// its audio. TagLib takes the first frame sync it finds, and one turns up by
// chance inside most other formats.
namespace vbmp3::mpeg {

// The size in bytes of the frame whose 4-byte header begins `header`; 0 when
// it is none (free bit rate included, which no length can be told for).
std::size_t frameLength(std::string_view header);

// True when the bytes at `audioStart` are not another format's signature and
// the frames from `firstFrame` run on, each of the same version, layer and
// sample rate, for several frames or to the end of the file or the tags there.
bool startsAudio(TagLib::File& file, long audioStart, long firstFrame);

// The same for the audio after the file's ID3v2 tag.
bool isMpegFile(TagLib::MPEG::File& file);

}  // namespace vbmp3::mpeg
