#include "frame_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "frame_input.h"

namespace AztecTools {

namespace {

constexpr char kY4mMagic[] = "YUV4MPEG2";
constexpr std::size_t kY4mMagicSize = sizeof kY4mMagic - 1;
// Stream and frame headers are a line of short parameters; anything longer is not Y4M, and
// the limit keeps a garbage stream from filling memory.
constexpr std::size_t kMaxHeaderLine = 4096;
// An image on standard input cannot be sized beforehand; this bounds what is buffered.
constexpr std::size_t kMaxStdinImage = std::size_t{1} << 28;
constexpr std::size_t kMaxFileImage = std::size_t{1} << 31;

// A file read front to back, with the bytes looked at to recognise it put back in front.
class ByteInput {
 public:
  ByteInput(std::FILE* file, bool owned) : file_(file), owned_(owned) {}
  ~ByteInput() {
    if (owned_) std::fclose(file_);
  }
  ByteInput(const ByteInput&) = delete;
  ByteInput& operator=(const ByteInput&) = delete;

  // Up to n bytes; fewer only at the end of the input.
  std::size_t read(std::uint8_t* dst, std::size_t n) {
    std::size_t got = std::min(n, ahead_.size() - aheadPos_);
    if (got > 0) std::memcpy(dst, ahead_.data() + aheadPos_, got);
    aheadPos_ += got;
    while (got < n) {
      const std::size_t k = std::fread(dst + got, 1, n - got, file_);
      if (k == 0) {
        if (std::ferror(file_)) throw InputError(std::string("read error: ") + std::strerror(errno));
        break;
      }
      got += k;
    }
    return got;
  }
  // The first n bytes, left to be read again.
  std::vector<std::uint8_t> peek(std::size_t n) {
    std::vector<std::uint8_t> head(n);
    head.resize(read(head.data(), n));
    ahead_.insert(ahead_.begin() + static_cast<std::ptrdiff_t>(aheadPos_), head.begin(), head.end());
    return head;
  }
  void skip(std::size_t n, std::vector<std::uint8_t>& scratch) {
    scratch.resize(std::min<std::size_t>(n, 1 << 16));
    while (n > 0) {
      const std::size_t want = std::min(n, scratch.size());
      if (read(scratch.data(), want) < want) throw InputError("cut frame");
      n -= want;
    }
  }
  // Bytes up to a newline (not kept); nothing at the end of input, InputError past `limit`.
  std::optional<std::string> line(std::size_t limit, const char* what) {
    std::string text;
    std::uint8_t c;
    while (read(&c, 1) == 1) {
      if (c == '\n') return text;
      if (text.size() >= limit)
        throw InputError(std::string(what) + " longer than " + std::to_string(limit) + " bytes");
      text += static_cast<char>(c);
    }
    if (text.empty()) return std::nullopt;
    throw InputError(std::string(what) + " cut short");
  }

 private:
  std::FILE* file_;
  bool owned_;
  std::vector<std::uint8_t> ahead_;
  std::size_t aheadPos_ = 0;
};

// Whole luminance frames of one size, one after another; the bytes after each frame's
// luminance (a Y4M frame's colour planes) are skipped.
class PlaneStream : public FrameSource {
 public:
  PlaneStream(std::unique_ptr<ByteInput> in, std::string name, int width, int height)
      : in_(std::move(in)), name_(std::move(name)), width_(width), height_(height) {}
  bool isStream() const override { return true; }

 protected:
  std::optional<SourceFrame> readPlane(std::size_t skipAfter, std::optional<double> timeSeconds,
                                       bool endAllowed) {
    const std::size_t need = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    plane_.resize(need);
    const std::size_t got = in_->read(plane_.data(), need);
    if (got == 0 && endAllowed) return std::nullopt;
    if (got < need)
      throw InputError((endAllowed ? "partial frame of " : "cut frame: ") + std::to_string(got) + " bytes, " +
                       std::to_string(width_) + "x" + std::to_string(height_) + " needs " +
                       std::to_string(need));
    in_->skip(skipAfter, scratch_);
    SourceFrame f{Velmora::Image::GrayBuf::fromBytes(plane_.data(), width_, height_),
                  {name_, index_, timeSeconds}};
    ++index_;
    return f;
  }

  std::unique_ptr<ByteInput> in_;
  std::string name_;
  int width_, height_;
  long long index_ = 0;
  std::vector<std::uint8_t> plane_, scratch_;
};

class RawStream : public PlaneStream {
 public:
  using PlaneStream::PlaneStream;
  std::optional<SourceFrame> next() override {
    std::optional<SourceFrame> f = readPlane(0, std::nullopt, true);
    if (!f && index_ == 0) throw InputError("empty input");
    return f;
  }
};

// "123" -> 123; nothing for anything else or more than 9 digits.
std::optional<long long> positiveNumber(const std::string& s) {
  if (s.empty() || s.size() > 9 ||
      !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const long long v = std::stoll(s);
  return v > 0 ? std::optional<long long>(v) : std::nullopt;
}

class Y4mStream : public PlaneStream {
 public:
  Y4mStream(std::unique_ptr<ByteInput> in, std::string name)
      : PlaneStream(std::move(in), std::move(name), 0, 0) {}

  std::optional<SourceFrame> next() override {
    if (width_ == 0) readHeader();  // here rather than on opening, so its errors name frame 0
    const std::optional<std::string> header = in_->line(kMaxHeaderLine, "frame header");
    if (!header) return std::nullopt;
    if (header->compare(0, 5, "FRAME") != 0 || (header->size() > 5 && (*header)[5] != ' '))
      throw InputError("bad frame header (FRAME expected)");
    std::optional<double> time;
    if (secondsPerFrame_) time = static_cast<double>(index_) * *secondsPerFrame_;
    return readPlane(chroma_, time, false);
  }

 private:
  void readHeader() {
    const std::optional<std::string> header = in_->line(kMaxHeaderLine, "Y4M header");
    if (!header || header->compare(0, kY4mMagicSize, kY4mMagic) != 0 ||
        (header->size() > kY4mMagicSize && (*header)[kY4mMagicSize] != ' '))
      throw InputError("broken Y4M header");
    std::optional<long long> w, h;
    long long rateNum = 0, rateDen = 0;  // 0: no frame rate given ("F0:0" means unknown too)
    std::string colour = "420jpeg";      // what a header without a C tag means
    std::size_t pos = kY4mMagicSize;
    while (pos < header->size()) {
      std::size_t end = header->find(' ', pos + 1);
      if (end == std::string::npos) end = header->size();
      const std::string token = header->substr(pos + 1, end - pos - 1);
      pos = end;
      if (token.empty()) continue;
      const std::string value = token.substr(1);
      switch (token[0]) {
        case 'W':
          if (!(w = positiveNumber(value))) throw InputError("broken Y4M header: bad width '" + token + "'");
          break;
        case 'H':
          if (!(h = positiveNumber(value))) throw InputError("broken Y4M header: bad height '" + token + "'");
          break;
        case 'F': {
          const std::size_t colon = value.find(':');
          rateNum = positiveNumber(value.substr(0, colon)).value_or(0);
          rateDen = colon == std::string::npos ? 0 : positiveNumber(value.substr(colon + 1)).value_or(0);
          break;
        }
        case 'C':
          colour = value;
          break;
        default:  // interlacing, aspect ratio and extensions do not change the luma plane
          break;
      }
    }
    if (!w || !h) throw InputError("broken Y4M header: no width or height");
    if (*w * *h > kMaxPixels) throw InputError("Y4M frame too large");
    const long long cw = (*w + 1) / 2, ch = (*h + 1) / 2;
    if (colour == "mono")
      chroma_ = 0;
    else if (colour == "420" || colour == "420jpeg" || colour == "420paldv" || colour == "420mpeg2")
      chroma_ = static_cast<std::size_t>(2 * cw * ch);
    else if (colour == "422")
      chroma_ = static_cast<std::size_t>(2 * cw * *h);
    else if (colour == "444")
      chroma_ = static_cast<std::size_t>(2 * *w * *h);
    else
      throw InputError("unsupported Y4M colour space 'C" + colour + "'");
    if (rateNum > 0 && rateDen > 0)
      secondsPerFrame_ = static_cast<double>(rateDen) / static_cast<double>(rateNum);
    width_ = static_cast<int>(*w);
    height_ = static_cast<int>(*h);
  }

  std::size_t chroma_ = 0;
  std::optional<double> secondsPerFrame_;
};

class SingleImage : public FrameSource {
 public:
  SingleImage(Velmora::Image::GrayBuf frame, std::string name)
      : frame_(std::move(frame)), name_(std::move(name)) {}
  std::optional<SourceFrame> next() override {
    if (done_) return std::nullopt;
    done_ = true;
    return SourceFrame{frame_, {name_, std::nullopt, std::nullopt}};
  }
  bool isStream() const override { return false; }

 private:
  Velmora::Image::GrayBuf frame_;
  std::string name_;
  bool done_ = false;
};

bool startsWith(const std::uint8_t* head, std::size_t size, const char* prefix, std::size_t n) {
  return size >= n && std::memcmp(head, prefix, n) == 0;
}

}  // namespace

bool looksLikeFrames(const std::uint8_t* head, std::size_t size) {
  const bool pnm = size >= 3 && head[0] == 'P' && (head[1] == '5' || head[1] == '6') &&
                   (head[2] == ' ' || (head[2] >= '\t' && head[2] <= '\r'));
  return pnm || startsWith(head, size, "\x89PNG\r\n\x1a\n", 8) || startsWith(head, size, "\xff\xd8\xff", 3) ||
         startsWith(head, size, "BM", 2) || startsWith(head, size, kY4mMagic, kY4mMagicSize);
}

std::unique_ptr<FrameSource> openSource(std::FILE* file, bool owned, const std::string& name,
                                        const RawSize& rawSize) {
  auto in = std::make_unique<ByteInput>(file, owned);
  const std::vector<std::uint8_t> head = in->peek(kY4mMagicSize);
  if (startsWith(head.data(), head.size(), kY4mMagic, kY4mMagicSize))
    return std::make_unique<Y4mStream>(std::move(in), name);
  if (rawSize) return std::make_unique<RawStream>(std::move(in), name, rawSize->first, rawSize->second);
  // Checked before reading on, so endless garbage on standard input is refused at once.
  const bool standardInput = name == "-";
  if (standardInput && !looksLikeFrames(head.data(), head.size()))
    throw InputError("not an image or a Y4M stream (a raw stream needs --size WxH)");
  const std::size_t limit = standardInput ? kMaxStdinImage : kMaxFileImage;
  std::vector<std::uint8_t> bytes;
  std::size_t got = 0;
  do {
    bytes.resize(got + (1 << 16));
    got += in->read(bytes.data() + got, 1 << 16);
    if (got > limit) throw InputError(standardInput ? "image on standard input too large" : "file too large");
  } while (got == bytes.size());
  bytes.resize(got);
  return std::make_unique<SingleImage>(decodeImage(bytes), name);
}

std::unique_ptr<FrameSource> openSource(const std::string& name, const RawSize& rawSize) {
  if (name == "-") return openSource(stdin, false, name, rawSize);
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) throw InputError(std::string("cannot open: ") + std::strerror(errno));
  return openSource(f, true, name, rawSize);
}

std::vector<std::string> frameFilesUnder(const std::string& dir) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::uint8_t head[kY4mMagicSize] = {};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(it->path().c_str(), "rb"), std::fclose);
    if (!f) continue;
    const std::size_t n = std::fread(head, 1, sizeof head, f.get());
    if (looksLikeFrames(head, n)) files.push_back(it->path().string());
  }
  if (ec) throw InputError("cannot list directory: " + ec.message());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace AztecTools
