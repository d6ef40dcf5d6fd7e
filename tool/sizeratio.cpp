#include "tool/sizeratio.h"

#include "engine/enlarge.h"
#include "settings/settings.h"
#include "tool/numbertext.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>

namespace velmora::tool {

using imageio::Size;

namespace {

enum class Side { Width, Height };

// A side of the result at r, as the engine computes it. A result too large
// for any size counts as larger than every side, so that a side only grows
// with r.
long long sideAt(Size source, double r, Side side) {
    const EnlargeGeometry g = enlargeGeometry(source.width(), source.height(), r);
    if (!g.valid)
        return LLONG_MAX;
    return side == Side::Width ? g.width : g.height;
}

int sourceSide(Size source, Side side) {
    return side == Side::Width ? source.width() : source.height();
}

// Positive doubles are ordered as their bit patterns: a search over the
// patterns visits every double between two ratios.
std::uint64_t bitsOf(double r) {
    return std::bit_cast<std::uint64_t>(r);
}

double ratioOf(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

double justBelow(double r) {
    return ratioOf(bitsOf(r) - 1);
}

// The smallest r in [lo, hi] at which `reached` holds, given that once it
// holds it holds for every larger r; none when it does not hold at hi.
template <typename Reached>
std::optional<double> firstRatio(double lo, double hi, const Reached& reached) {
    if (!reached(hi))
        return std::nullopt;
    std::uint64_t a = bitsOf(lo), b = bitsOf(hi);
    while (a < b) {
        const std::uint64_t mid = a + (b - a) / 2;
        if (reached(ratioOf(mid)))
            b = mid;
        else
            a = mid + 1;
    }
    return ratioOf(a);
}

// The ratios in range that give one length of a side: [first, last].
struct Span {
    double first = 0;
    double last = 0;
};

std::string sizeWords(Size source) {
    return std::to_string(source.width()) + " x " + std::to_string(source.height());
}

std::string outOfRange(Size source, bool below) {
    return "from " + sizeWords(source) + " that needs a ratio " + (below ? "below " : "above ") +
           fixedText(below ? lowestRatio() : highestRatio(), 1);
}

// The span of ratios giving `side` exactly `length`, or why there is none.
std::optional<Span> spanOf(Size source, Side side, long long length, std::string* refusal) {
    const auto atLeast = [&](long long n) {
        return [&source, side, n](double r) { return sideAt(source, r, side) >= n; };
    };
    const std::optional<double> first = firstRatio(lowestRatio(), highestRatio(), atLeast(length));
    if (!first || sideAt(source, *first, side) != length) {
        if (first && *first != lowestRatio())
            *refusal = "no ratio gives exactly that from " + sizeWords(source);
        else
            *refusal = outOfRange(source, first.has_value());
        return std::nullopt;
    }
    const std::optional<double> beyond = firstRatio(*first, highestRatio(), atLeast(length + 1));
    return Span{*first, beyond ? justBelow(*beyond) : highestRatio()};
}

// One side exactly `length`; of the ratios that give it, the smallest that
// gives the other side its share of the source's aspect, rounded, or as
// near it as the span allows.
RatioChoice exactSide(Size source, Side side, int length) {
    const Side other = side == Side::Width ? Side::Height : Side::Width;
    RatioChoice choice;
    choice.refusal = std::string("to a ") + (side == Side::Width ? "width" : "height") + " of " +
                     std::to_string(length) + " pixels: ";
    std::string why;
    const std::optional<Span> span = spanOf(source, side, length, &why);
    if (!span) {
        choice.refusal += why;
        return choice;
    }
    const long long aspect = std::llround(static_cast<double>(length) * sourceSide(source, other) /
                                          sourceSide(source, side));
    const long long wanted =
        std::clamp(aspect, sideAt(source, span->first, other), sideAt(source, span->last, other));
    choice.ratio = *firstRatio(span->first, span->last,
                               [&](double r) { return sideAt(source, r, other) >= wanted; });
    choice.refusal.clear();
    return choice;
}

// The largest ratio in range whose result fits in the box; a box that the
// result stays inside at the highest ratio without touching needs more.
RatioChoice fitInBox(Size source, Size box) {
    const auto fits = [&](double r) {
        return sideAt(source, r, Side::Width) <= box.width() &&
               sideAt(source, r, Side::Height) <= box.height();
    };
    const auto touches = [&](double r) {
        return sideAt(source, r, Side::Width) == box.width() ||
               sideAt(source, r, Side::Height) == box.height();
    };
    RatioChoice choice;
    const std::string to = "to fit " + sizeWords(box) + ": ";
    if (!fits(lowestRatio())) {
        choice.refusal = to + outOfRange(source, true);
        return choice;
    }
    const std::optional<double> beyond =
        firstRatio(lowestRatio(), highestRatio(), [&](double r) { return !fits(r); });
    if (!beyond && !touches(highestRatio())) {
        choice.refusal = to + outOfRange(source, false);
        return choice;
    }
    choice.ratio = beyond ? justBelow(*beyond) : highestRatio();
    return choice;
}

} // namespace

double lowestRatio() {
    return kMinScale / 10.0;
}

double highestRatio() {
    return kMaxScale / 10.0;
}

RatioChoice chooseRatio(const SizeTarget& target, Size source) {
    switch (target.rule) {
    case SizeRule::Width:
        return exactSide(source, Side::Width, target.width);
    case SizeRule::Height:
        return exactSide(source, Side::Height, target.height);
    case SizeRule::Fit:
        return fitInBox(source, Size(target.width, target.height));
    case SizeRule::Ratio:
        break;
    }
    return {};
}

} // namespace velmora::tool
