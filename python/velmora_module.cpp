// The Python module `velmora`: the exact enlargement for numpy arrays, over
// the conversion library's C entries, and for files, through the batch tool's
// own enlargement of one file. Arrays come in as numpy holds them (rows of
// RGB, RGBA or gray bytes) and a new array comes out; the work runs without
// the interpreter's lock.
#include "libvelmora/velmora.h"
#include "platform/filenames.h"
#include "platform/memory.h"
#include "tool/enlargefile.h"
#include "tool/numbertext.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace py = pybind11;

namespace {

// Results from this size on lie in mappings of their own (newResult).
constexpr std::size_t kMappedFrom = std::size_t{4} << 20;

// The library's words for a failed status, as the Python exception fits it.
[[noreturn]] void raise(int status) {
    const std::string text = VelmoraStatusText(status);
    PyErr_SetString(status == VELMORA_E_OUT_OF_MEMORY ? PyExc_MemoryError : PyExc_ValueError,
                    text.c_str());
    throw py::error_already_set();
}

int layoutOf(const py::array& a) {
    if (a.ndim() == 2)
        return VELMORA_LAYOUT_GRAY;
    if (a.ndim() == 3 && a.shape(2) == 3)
        return VELMORA_LAYOUT_RGB;
    if (a.ndim() == 3 && a.shape(2) == 4)
        return VELMORA_LAYOUT_RGBA;
    throw py::value_error("velmora.enlarge takes an array of shape (height, width), "
                          "(height, width, 3) or (height, width, 4); got " +
                          std::to_string(a.ndim()) + " dimensions");
}

// The array as rows of packed pixels, top row first: the array itself when
// its pixels lie side by side in each row (any positive row stride), else a
// C-contiguous copy.
py::array packedRows(const py::array& a) {
    const py::ssize_t channels = a.ndim() == 3 ? a.shape(2) : 1;
    const bool packed = a.strides(1) == channels && (a.ndim() == 2 || a.strides(2) == 1) &&
                        a.strides(0) >= a.shape(1) * channels;
    if (packed)
        return a;
    return py::array::ensure(a, py::array::c_style | py::array::forcecast);
}

// A new uint8 array of the shape. A large one lies on whole huge pages of a
// mapping of its own: numpy's memory starts anywhere in a page, and the kernel
// can back only the huge pages wholly inside the array with huge pages, so the
// rest of it would be faulted in as small pages, each a trap of its own (dear
// in virtual machines). The array owns the mapping and unmaps it when freed.
py::array newResult(const std::vector<py::ssize_t>& shape) {
    std::size_t bytes = 1;
    for (const py::ssize_t n : shape)
        bytes *= static_cast<std::size_t>(n);
    if (bytes < kMappedFrom)
        return py::array(py::dtype::of<std::uint8_t>(), shape);
    const velmora::platform::HugeMapping mapping = velmora::platform::mapHugePages(bytes);
    if (!mapping.address)
        throw std::bad_alloc();
    const py::capsule owner(new velmora::platform::HugeMapping(mapping), [](void* p) {
        auto* m = static_cast<velmora::platform::HugeMapping*>(p);
        velmora::platform::unmapHugePages(*m);
        delete m;
    });
    return py::array(py::dtype::of<std::uint8_t>(), shape, {}, mapping.address, owner);
}

std::tuple<int, int> enlargedSize(int width, int height, double ratio) {
    std::int32_t w = 0, h = 0;
    if (const int status = VelmoraEnlargedSize(width, height, ratio, &w, &h))
        raise(status);
    return {w, h};
}

py::array enlarge(const py::array& input, double ratio, int threads) {
    if (!py::dtype::of<std::uint8_t>().is(input.dtype()))
        throw py::type_error("velmora.enlarge takes an array of uint8, not " +
                             std::string(py::str(input.dtype())));
    const int layout = layoutOf(input);
    if (input.shape(0) < 1 || input.shape(1) < 1 || input.shape(0) > INT32_MAX ||
        input.shape(1) > INT32_MAX)
        throw py::value_error("velmora.enlarge takes an array of at least one pixel");
    const py::array source = packedRows(input);
    const int width = static_cast<int>(source.shape(1)), height = static_cast<int>(source.shape(0));
    const auto [w, h] = enlargedSize(width, height, ratio);
    const py::ssize_t channels = source.ndim() == 3 ? source.shape(2) : 1;
    py::array result = source.ndim() == 3 ? newResult({h, w, channels}) : newResult({h, w});
    const void* in = source.data();
    void* out = result.mutable_data();
    const std::int64_t inStride = source.strides(0), outStride = std::int64_t(w) * channels;
    int status = VELMORA_OK;
    {
        py::gil_scoped_release unlocked;
        status =
            VelmoraEnlarge(in, width, height, inStride, layout, ratio, out, outStride, threads);
    }
    if (status != VELMORA_OK)
        raise(status);
    return result;
}

// A path as Python gives it (str, bytes or os.PathLike), as the bytes of the
// name on disk: what os.fsencode makes of it.
std::string nameOf(const py::object& path) {
    const py::bytes bytes = py::module_::import("os").attr("fsencode")(path);
    return bytes;
}

std::optional<velmora::SaveKind> kindOfFormat(const std::optional<std::string>& format) {
    if (!format)
        return std::nullopt;
    std::string name = *format;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c);
    });
    if (name == "jpg" || name == "jpeg")
        return velmora::SaveKind::Jpeg;
    if (name == "bmp")
        return velmora::SaveKind::Bitmap;
    if (name == "png")
        return velmora::SaveKind::Png;
    throw py::value_error("velmora.enlarge_file: the format \"" + *format +
                          "\" is not jpg, bmp or png");
}

// What `velmora-enlarge --ratio R [--quality N] [--strip] SRC DST` does, with
// format standing for DST's ending when given: the same bytes, written under
// a temporary name and renamed, so a failure never leaves a partial file.
void enlargeFile(const py::object& src, const py::object& dst, double ratio, int quality,
                 bool strip, const std::optional<std::string>& format) {
    using namespace velmora::tool;
    if (!(ratio >= VELMORA_MIN_RATIO && ratio <= VELMORA_MAX_RATIO))
        throw py::value_error("velmora.enlarge_file: the ratio " + shortText(ratio, 17) +
                              " is not from 1.1 to 10.0");
    if (quality < 1 || quality > 100)
        throw py::value_error("velmora.enlarge_file: the quality " + std::to_string(quality) +
                              " is not from 1 to 100");
    Request request;
    request.ratio = ratio;
    request.ratioText = shortText(ratio, 17);
    request.quality = quality;
    request.strip = strip;
    FileJob job;
    job.input = nameOf(src);
    job.output = nameOf(dst);
    const std::optional<velmora::SaveKind> kind =
        format ? kindOfFormat(format) : kindOfName(job.output);
    if (!kind)
        throw py::value_error("velmora.enlarge_file: the output " +
                              velmora::platform::nameForDisplay(job.output) +
                              " must end in .bmp, .jpg, .jpeg or .png, or a format be given");
    job.kind = *kind;
    std::string why;
    {
        py::gil_scoped_release unlocked;
        why = enlargeFile(request, job);
    }
    if (!why.empty()) {
        // A name that is no UTF-8 is shown as well as it can be: Python takes
        // the message as UTF-8.
        PyErr_SetString(PyExc_OSError, velmora::platform::nameForDisplay(why).c_str());
        throw py::error_already_set();
    }
}

} // namespace

PYBIND11_MODULE(velmora, m) {
    m.doc() = "The exact anti-aliased enlargement of velmora for numpy arrays.";
    m.attr("__version__") = VelmoraVersion();
    m.attr("MIN_RATIO") = VELMORA_MIN_RATIO;
    m.attr("MAX_RATIO") = VELMORA_MAX_RATIO;
    m.def("enlarged_size", &enlargedSize, py::arg("width"), py::arg("height"), py::arg("ratio"),
          "The (width, height) of a width x height picture enlarged by ratio.");
    m.def("enlarge", &enlarge, py::arg("array"), py::arg("ratio"), py::arg("threads") = 0,
          "A new uint8 array: array (height x width, gray; height x width x 3, RGB; or "
          "height x width x 4, RGBA) enlarged by ratio, every channel by the same rule. "
          "threads: 0 for every core the process may run on; at most four per such core "
          "and 256 are used.");
    m.def("enlarge_file", &enlargeFile, py::arg("src"), py::arg("dst"), py::arg("ratio"),
          py::arg("quality") = 100, py::arg("strip") = false, py::arg("format") = py::none(),
          "Enlarges the picture file src by ratio into dst (BMP, JPEG or PNG, from dst's ending "
          "or format) exactly as velmora-enlarge does, metadata kept unless strip.");
}
