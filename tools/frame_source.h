#pragma once
// Where frames come from: an image file, standard input, a directory of images, a raw
// luminance stream (--size) or a Y4M stream. Streams are read one frame at a time, so memory
// holds one frame however long the stream is.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/gray_buf.h"
#include "output_writer.h"

namespace AztecTools {

struct SourceFrame {
  Velmora::Image::GrayBuf frame;
  FrameLabel label;
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // The next frame, or nothing after the last. InputError (a one-line reason) for what cannot
  // be read; nothing more comes after it.
  virtual std::optional<SourceFrame> next() = 0;
  // Frames of a stream carry their index; a single image does not.
  virtual bool isStream() const = 0;
};

using RawSize = std::optional<std::pair<int, int>>;

// Opens `name` ("-": standard input). A Y4M stream is recognised by its header; otherwise with
// `rawSize` the input is a stream of raw W x H luminance frames, without it one image.
// InputError when it cannot be opened, or standard input holds neither an image nor Y4M.
std::unique_ptr<FrameSource> openSource(const std::string& name, const RawSize& rawSize);

// The same on an open file, which the source closes when `owned`.
std::unique_ptr<FrameSource> openSource(std::FILE* file, bool owned, const std::string& name,
                                        const RawSize& rawSize);

// True when the first bytes are those of a PNG, JPEG, BMP, binary PGM/PPM or Y4M file.
bool looksLikeFrames(const std::uint8_t* head, std::size_t size);

// Every file under `dir`, recursively, in sorted order, whose content looks like frames;
// InputError when the directory cannot be listed.
std::vector<std::string> frameFilesUnder(const std::string& dir);

}  // namespace AztecTools
