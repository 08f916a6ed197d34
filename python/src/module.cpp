// aztec_reader._core: the whole-frame reader, the exact decoder and the command-line tool's image
// loader for Python. The Python layer (aztec_reader/__init__.py) turns images into uint8 arrays
// and the tuples returned here into Symbol objects; this layer only reads pixels, with the GIL
// released while it does.

#include <aztec/exact_decoder.h>
#include <aztec/reader.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <climits>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "frame_input.h"
#include "text_output.h"

namespace py = pybind11;

namespace {

// Luminance weights of the command-line tool's image loader: (77 R + 150 G + 29 B) >> 8.
constexpr int kWeightR = 77;
constexpr int kWeightG = 150;
constexpr int kWeightB = 29;

// A uint8 array of shape (h, w) or (h, w, channels) as a luminance view. Rows that are
// contiguous are read where they are; anything else (transposed, column steps, negative or zero
// strides, colour) is written into a fresh numpy array first. The copy is allocated here, with
// the GIL held, and filled by view(), which may run without it.
class Pixels {
 public:
  // `rgb` gives the channel index of red, green and blue for a colour array.
  Pixels(const py::array& array, std::array<int, 3> rgb) : source_(array), rgb_(rgb) {
    if (array.dtype().kind() != 'u' || array.itemsize() != 1)
      throw py::type_error("pixels must be uint8, got " + py::str(array.dtype()).cast<std::string>());
    if (array.ndim() != 2 && array.ndim() != 3)
      throw py::value_error("pixels must be a 2-D or 3-D array, got " + std::to_string(array.ndim()) + "-D");
    const py::ssize_t h = array.shape(0), w = array.shape(1);
    channels_ = array.ndim() == 3 ? array.shape(2) : 1;
    if (h <= 0 || w <= 0)
      throw py::value_error("empty image (" + std::to_string(h) + "x" + std::to_string(w) + ")");
    if (h > INT_MAX || w > INT_MAX || h * w > INT_MAX) throw py::value_error("image too large");
    if (channels_ != 1 && channels_ != 3 && channels_ != 4)
      throw py::value_error("a 3-D array needs 3 or 4 channels, got " + std::to_string(channels_));
    for (int c : rgb_)
      if (channels_ > 1 && (c < 0 || c >= channels_)) throw py::value_error("channel index out of range");
    width_ = static_cast<int>(w);
    height_ = static_cast<int>(h);
    rowStep_ = height_ == 1 ? w : array.strides(0);  // a single row's stride says nothing
    colStep_ = width_ == 1 ? 1 : array.strides(1);
    chanStep_ = channels_ > 1 ? array.strides(2) : 0;
    inPlace_ = channels_ == 1 && colStep_ == 1 && rowStep_ >= w && rowStep_ <= INT_MAX;
    if (!inPlace_) copy_ = py::array_t<std::uint8_t>({h, w});
  }

  // The luminance view; fills the copy on the first call. Needs no GIL.
  Aztec::LumaView view() {
    const auto* base = static_cast<const std::uint8_t*>(source_.data());
    if (inPlace_) return {base, width_, height_, static_cast<int>(rowStep_)};
    std::uint8_t* out = copy_.mutable_data();
    if (!filled_) {
      for (int y = 0; y < height_; ++y) {
        const std::uint8_t* row = base + y * rowStep_;
        std::uint8_t* dst = out + static_cast<std::size_t>(y) * width_;
        if (channels_ == 1) {
          for (int x = 0; x < width_; ++x) dst[x] = row[x * colStep_];
        } else {
          const py::ssize_t r = rgb_[0] * chanStep_, g = rgb_[1] * chanStep_, b = rgb_[2] * chanStep_;
          for (int x = 0; x < width_; ++x) {
            const std::uint8_t* p = row + x * colStep_;
            dst[x] = static_cast<std::uint8_t>((kWeightR * p[r] + kWeightG * p[g] + kWeightB * p[b]) >> 8);
          }
        }
      }
      filled_ = true;
    }
    return {out, width_, height_, width_};
  }

 private:
  py::array source_;  // kept alive for as long as the view is used
  std::array<int, 3> rgb_;
  py::ssize_t channels_ = 1;
  int width_ = 0, height_ = 0;
  py::ssize_t rowStep_ = 0, colStep_ = 0, chanStep_ = 0;
  bool inPlace_ = false;
  bool filled_ = false;
  py::array_t<std::uint8_t> copy_;
};

py::bytes toBytes(const std::vector<std::uint8_t>& bytes) {
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Text the reader gives is UTF-8; a stray invalid sequence becomes U+FFFD rather than an error.
py::str utf8(const std::string& text) {
  PyObject* s = PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "replace");
  if (!s) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

py::tuple symbolTuple(const Aztec::ReadResult& r) {
  py::object sa = py::none();
  if (r.structuredAppend)
    sa = py::make_tuple(r.structuredAppend->index, r.structuredAppend->count, utf8(r.structuredAppend->id));
  py::array_t<double> corners({4, 2});
  auto c = corners.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < 4; ++i) {
    c(i, 0) = r.corners[static_cast<std::size_t>(i)].x;
    c(i, 1) = r.corners[static_cast<std::size_t>(i)].y;
  }
  return py::make_tuple(toBytes(r.bytes), utf8(r.text), r.gs1, sa, r.readerInitialisation,
                        Aztec::toString(r.format), r.layers, r.dataCodewords, r.checkCodewords,
                        r.correctedCodewords, r.rotation, r.mirrored, r.inverted, corners);
}

Aztec::ReaderOptions readerOptions(std::optional<std::array<int, 4>> region, bool tryInverted, bool runes,
                                   int maxSymbols) {
  Aztec::ReaderOptions options;
  if (region) {
    options.regionX = (*region)[0];
    options.regionY = (*region)[1];
    options.regionWidth = (*region)[2];
    options.regionHeight = (*region)[3];
  }
  options.tryInverted = tryInverted;
  options.readRunes = runes;
  options.maxSymbols = maxSymbols;
  return options;
}

py::list readFrame(const py::array& array, std::array<int, 3> rgb, std::optional<std::array<int, 4>> region,
                   bool tryInverted, bool runes, int maxSymbols) {
  Pixels pixels(array, rgb);
  const Aztec::WholeFrameReader reader(readerOptions(region, tryInverted, runes, maxSymbols));
  std::vector<Aztec::ReadResult> results;
  {
    py::gil_scoped_release release;
    results = reader.read(pixels.view());
  }
  py::list out;
  for (const Aztec::ReadResult& r : results) out.append(symbolTuple(r));
  return out;
}

py::tuple decodeExact(const py::array& array, std::array<int, 3> rgb) {
  Pixels pixels(array, rgb);
  Aztec::ExactDecodeResult result;
  std::optional<std::string> failure;
  {
    py::gil_scoped_release release;
    const Aztec::LumaView view = pixels.view();
    try {
      result = Aztec::decodeExact(view);
    } catch (const Aztec::InvalidViewError&) {
      throw;
    } catch (const std::exception& e) {
      failure = e.what();  // raised once the GIL is back
    }
  }
  if (failure) throw std::runtime_error("exact decoder failed: " + *failure);
  return py::make_tuple(static_cast<int>(result.status), utf8(result.statusText), toBytes(result.bytes));
}

py::array decodeImage(const py::bytes& data) {
  std::vector<std::uint8_t> bytes;
  {
    const std::string_view view = data;
    bytes.assign(view.begin(), view.end());
  }
  Velmora::Image::GrayBuf frame;
  {
    py::gil_scoped_release release;
    frame = AztecTools::decodeImage(bytes);
  }
  py::array_t<std::uint8_t> out({frame.height(), frame.width()});
  std::uint8_t* dst = out.mutable_data();
  for (int y = 0; y < frame.height(); ++y)
    std::copy_n(frame.row(y), frame.width(), dst + static_cast<std::size_t>(y) * frame.width());
  return out;
}

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU seconds of this thread for `repeat` reads of the frame in C++ alone, for the
// binding-overhead benchmark (CPU time: the build machine is shared).
double timeReads(const py::array& array, int repeat) {
  Pixels pixels(array, {0, 1, 2});
  const Aztec::WholeFrameReader reader;
  py::gil_scoped_release release;
  const Aztec::LumaView view = pixels.view();
  const double start = threadCpuSeconds();
  for (int i = 0; i < repeat; ++i) reader.read(view);
  return threadCpuSeconds() - start;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Native part of aztec_reader; use the functions of the aztec_reader package instead.";
  py::register_exception<AztecTools::InputError>(m, "InputError", PyExc_ValueError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Aztec::InvalidViewError& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });

  m.def("read", &readFrame, py::arg("pixels"), py::arg("rgb"), py::arg("region"), py::arg("try_inverted"),
        py::arg("runes"), py::arg("max_symbols"),
        "Every symbol in a uint8 frame (2-D, or 3-D colour with `rgb` the channel indices of red, "
        "green, blue), as tuples in Symbol field order.");
  m.def("decode_exact", &decodeExact, py::arg("pixels"), py::arg("rgb"),
        "The exact decoder on a uint8 frame: (status, status text, bytes).");
  m.def("decode_image", &decodeImage, py::arg("data"),
        "PNG, JPEG, BMP or PGM/PPM file contents as a 2-D uint8 luminance array; InputError "
        "(a ValueError) for anything else.");
  m.def(
      "json_string", [](const py::bytes& utf8Text) { return AztecTools::jsonString(utf8Text); },
      py::arg("text"), "The command-line tool's JSON string literal for UTF-8 bytes.");
  m.def("time_reads", &timeReads, py::arg("pixels"), py::arg("repeat"),
        "CPU seconds of `repeat` reads of a 2-D uint8 frame in C++ alone (benchmarks).");
}
