#include "tools/skin/Palette.h"

#include <algorithm>
#include <unordered_map>

namespace {

struct ColourCount {
    QRgb rgb;
    uint32_t count;
};

int channel(QRgb rgb, int c) { return c == 0 ? qRed(rgb) : c == 1 ? qGreen(rgb) : qBlue(rgb); }

// A box of the median cut: a range [begin, end) of the colour list.
struct Box {
    size_t begin;
    size_t end;
    int widestChannel;
    int range;  // extent along widestChannel; 0 for a single colour
};

Box makeBox(const std::vector<ColourCount> &colours, size_t begin, size_t end)
{
    int lo[3] = {255, 255, 255};
    int hi[3] = {0, 0, 0};
    for (size_t i = begin; i < end; ++i)
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], channel(colours[i].rgb, c));
            hi[c] = std::max(hi[c], channel(colours[i].rgb, c));
        }
    Box box{begin, end, 0, hi[0] - lo[0]};
    for (int c = 1; c < 3; ++c)
        if (hi[c] - lo[c] > box.range) {
            box.widestChannel = c;
            box.range = hi[c] - lo[c];
        }
    return box;
}

// Splits `colours` into at most `wanted` boxes and returns the weighted mean
// of each.
std::vector<QRgb> medianCut(std::vector<ColourCount> colours, int wanted)
{
    std::vector<QRgb> result;
    if (colours.empty() || wanted <= 0)
        return result;
    std::vector<Box> boxes{makeBox(colours, 0, colours.size())};
    while (static_cast<int>(boxes.size()) < wanted) {
        auto widest = std::max_element(boxes.begin(), boxes.end(), [](const Box &a, const Box &b) {
            return a.range < b.range;
        });
        if (widest->range == 0)
            break;  // every box holds one colour
        Box box = *widest;
        const int c = box.widestChannel;
        std::sort(colours.begin() + box.begin, colours.begin() + box.end,
                  [c](const ColourCount &a, const ColourCount &b) {
                      return channel(a.rgb, c) < channel(b.rgb, c);
                  });
        uint64_t total = 0;
        for (size_t i = box.begin; i < box.end; ++i)
            total += colours[i].count;
        // Weighted median, but never an empty half.
        uint64_t seen = 0;
        size_t split = box.begin + 1;
        for (size_t i = box.begin; i < box.end - 1; ++i) {
            seen += colours[i].count;
            split = i + 1;
            if (seen * 2 >= total)
                break;
        }
        *widest = makeBox(colours, box.begin, split);
        boxes.push_back(makeBox(colours, split, box.end));
    }
    for (const Box &box : boxes) {
        uint64_t sum[3] = {0, 0, 0};
        uint64_t total = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            for (int c = 0; c < 3; ++c)
                sum[c] += static_cast<uint64_t>(channel(colours[i].rgb, c)) * colours[i].count;
            total += colours[i].count;
        }
        result.push_back(qRgb(static_cast<int>((sum[0] + total / 2) / total),
                              static_cast<int>((sum[1] + total / 2) / total),
                              static_cast<int>((sum[2] + total / 2) / total)));
    }
    return result;
}

int distance(QRgb a, QRgb b)
{
    const int dr = qRed(a) - qRed(b);
    const int dg = qGreen(a) - qGreen(b);
    const int db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

}  // namespace

PalettedImage reduceToPalette(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    PalettedImage out;
    out.width = rgb.width();
    out.height = rgb.height();
    if (rgb.isNull()) {
        out.palette.push_back(qRgb(0, 0, 0));
        return out;
    }

    std::unordered_map<QRgb, uint32_t> histogram;
    for (int y = 0; y < out.height; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < out.width; ++x)
            ++histogram[line[x] | 0xff000000u];
    }
    std::vector<ColourCount> colours;
    colours.reserve(histogram.size());
    for (const auto &entry : histogram)
        colours.push_back({entry.first, entry.second});
    // Most used first; ties by value so that the output does not depend on
    // the hash map's order.
    std::sort(colours.begin(), colours.end(), [](const ColourCount &a, const ColourCount &b) {
        return a.count != b.count ? a.count > b.count : a.rgb < b.rgb;
    });

    if (colours.size() <= static_cast<size_t>(PalettedImage::kMaxColours)) {
        for (const ColourCount &c : colours)
            out.palette.push_back(c.rgb);
    } else {
        for (int i = 0; i < PalettedImage::kExactColours; ++i)
            out.palette.push_back(colours[static_cast<size_t>(i)].rgb);
        std::vector<ColourCount> rest(colours.begin() + PalettedImage::kExactColours, colours.end());
        for (QRgb mean : medianCut(std::move(rest), PalettedImage::kMaxColours - PalettedImage::kExactColours))
            out.palette.push_back(mean);
    }

    std::unordered_map<QRgb, uint8_t> nearest;
    nearest.reserve(colours.size());
    for (const ColourCount &c : colours) {
        size_t best = 0;
        int bestDistance = distance(c.rgb, out.palette[0]);
        for (size_t i = 1; i < out.palette.size() && bestDistance > 0; ++i) {
            const int d = distance(c.rgb, out.palette[i]);
            if (d < bestDistance) {
                best = i;
                bestDistance = d;
            }
        }
        nearest[c.rgb] = static_cast<uint8_t>(best);
    }

    out.indices.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    for (int y = 0; y < out.height; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uint8_t *row = out.indices.data() + static_cast<size_t>(y) * static_cast<size_t>(out.width);
        for (int x = 0; x < out.width; ++x)
            row[x] = nearest[line[x] | 0xff000000u];
    }
    return out;
}
