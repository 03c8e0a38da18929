#include "host/median_cut.h"

#include <algorithm>
#include <array>

#include "host/terminal.h"

namespace {

// Refinement rounds after the cut; each lowers the error, the first ones the most.
constexpr int kRefinementRounds = 3;

int Channel(uint32_t colour, int channel) {
  return colour >> (16 - 8 * channel) & 255;
}

uint32_t MakeColour(const std::array<double, 3>& channels) {
  uint32_t colour = 0;
  for (int c = 0; c < 3; ++c) {
    const double rounded = std::clamp(channels[c] + 0.5, 0.0, 255.0);
    colour = colour << 8 | static_cast<uint32_t>(rounded);
  }
  return colour;
}

// A box of the cut: a run of histogram entries and what its colours add up to.
struct Box {
  size_t begin = 0;
  size_t end = 0;
  uint64_t population = 0;
  std::array<double, 3> sum{};
  double error = 0;  // squared distance of all its pixels from their mean
  int widestChannel = 0;

  void Measure(const std::vector<ColourCount>& entries) {
    population = 0;
    sum = {};
    std::array<double, 3> squares{};
    std::array<int, 3> low{255, 255, 255};
    std::array<int, 3> high{0, 0, 0};
    for (size_t i = begin; i < end; ++i) {
      const double count = static_cast<double>(entries[i].count);
      population += entries[i].count;
      for (int c = 0; c < 3; ++c) {
        const int value = Channel(entries[i].colour, c);
        sum[c] += count * value;
        squares[c] += count * value * value;
        low[c] = std::min(low[c], value);
        high[c] = std::max(high[c], value);
      }
    }
    error = 0;
    double widest = -1;
    for (int c = 0; c < 3; ++c) {
      const double variance = squares[c] - sum[c] * sum[c] / static_cast<double>(population);
      error += variance;
      if (high[c] - low[c] > widest) {
        widest = high[c] - low[c];
        widestChannel = c;
      }
    }
  }

  uint32_t Mean() const {
    const double n = static_cast<double>(population);
    return MakeColour({sum[0] / n, sum[1] / n, sum[2] / n});
  }
};

// Splits `box` at the pixel median of its widest channel; false when it holds one colour. The
// entries are put in order of that channel by counting (256 values), which takes a moment
// even for the 16 million colours a picture may have, where a comparison sort took seconds.
bool Split(std::vector<ColourCount>& entries, std::vector<ColourCount>& scratch, Box& box,
           Box& second) {
  if (box.end - box.begin < 2) return false;
  const int channel = box.widestChannel;
  std::array<size_t, 257> starts{};
  for (size_t i = box.begin; i < box.end; ++i) ++starts[Channel(entries[i].colour, channel) + 1];
  for (size_t value = 1; value < starts.size(); ++value) starts[value] += starts[value - 1];
  scratch.resize(box.end - box.begin);
  for (size_t i = box.begin; i < box.end; ++i) {
    scratch[starts[Channel(entries[i].colour, channel)]++] = entries[i];
  }
  std::copy(scratch.begin(), scratch.end(),
            entries.begin() + static_cast<std::ptrdiff_t>(box.begin));
  uint64_t below = 0;
  size_t cut = box.begin + 1;
  for (size_t i = box.begin; i + 1 < box.end; ++i) {
    below += entries[i].count;
    cut = i + 1;
    if (2 * below >= box.population) break;
  }
  second.begin = cut;
  second.end = box.end;
  box.end = cut;
  box.Measure(entries);
  second.Measure(entries);
  return true;
}

// Moves each palette colour to the mean of the histogram colours that are nearest to it.
std::vector<uint32_t> Refine(const std::vector<ColourCount>& histogram,
                             const std::vector<uint32_t>& palette) {
  NearestColour nearest(palette);
  std::vector<std::array<double, 3>> sums(palette.size(), std::array<double, 3>{});
  std::vector<double> counts(palette.size(), 0);
  for (size_t i = 0; i < histogram.size(); ++i) {
    // A stop leaves the palette as it was; the command then stops anyway.
    if (i % 65536 == 0 && Interrupted()) return palette;
    const ColourCount& entry = histogram[i];
    const uint8_t index = nearest.Find(entry.colour);
    const double count = static_cast<double>(entry.count);
    counts[index] += count;
    for (int c = 0; c < 3; ++c) sums[index][c] += count * Channel(entry.colour, c);
  }
  std::vector<uint32_t> refined = palette;
  for (size_t i = 0; i < palette.size(); ++i) {
    if (counts[i] > 0) {
      refined[i] =
          MakeColour({sums[i][0] / counts[i], sums[i][1] / counts[i], sums[i][2] / counts[i]});
    }
  }
  return refined;
}

}  // namespace

std::vector<uint32_t> OptimisedPalette(const std::vector<ColourCount>& histogram, int largest) {
  const size_t limit = static_cast<size_t>(std::clamp(largest, 1, 256));
  std::vector<uint32_t> palette;
  if (histogram.size() <= limit) {
    for (const ColourCount& entry : histogram) palette.push_back(entry.colour);
    return palette;
  }
  std::vector<ColourCount> entries = histogram;
  std::vector<ColourCount> scratch;
  std::vector<Box> boxes(1);
  boxes[0].end = entries.size();
  boxes[0].Measure(entries);
  // A stop (Ctrl-C) ends the cutting and refining early; the command then stops anyway.
  while (boxes.size() < limit && !Interrupted()) {
    // The box whose pixels lie farthest from their mean gains most from a cut.
    size_t chosen = boxes.size();
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) continue;
      if (chosen == boxes.size() || boxes[i].error > boxes[chosen].error) chosen = i;
    }
    Box second;
    if (chosen == boxes.size() || !Split(entries, scratch, boxes[chosen], second)) break;
    boxes.push_back(second);
  }
  for (const Box& box : boxes) palette.push_back(box.Mean());
  for (int round = 0; round < kRefinementRounds && !Interrupted(); ++round) {
    palette = Refine(histogram, palette);
  }
  return palette;
}
