#include "tests/e2e/support/reference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <tuple>
#include <utility>

#include "tests/support/run_viewer.h"
#include "win/headless/headless.h"

namespace e2e {
namespace {

constexpr int kStep = 4;

bool sameColour(std::uint32_t a, std::uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > 2) {
            return false;
        }
    }
    return true;
}

}  // namespace

ReferenceSet renderFrames(const std::vector<WPARAM>& keys, int width, int height, FrameSides frame,
                          int step, int from, int to) {
    ReferenceSet set;
    set.step = step;
    set.frames.resize(static_cast<std::size_t>(to - from));
    test_support::ViewerRun run;
    run.keys = keys;
    run.clientWidth = width;
    run.clientHeight = height;
    run.frames = to;
    run.prepare = [frame] {
        win::headless::setFrame(frame.left, frame.top, frame.right, frame.bottom);
    };
    run.onPresent = [&set, step, from](HWND, int presents) {
        if (presents <= from) return;
        const win::headless::Frame& shown = win::headless::lastFrame();
        set.width = shown.width;
        set.height = shown.height;
        auto& kept = set.frames[static_cast<std::size_t>(presents - 1 - from)];
        for (int y = 0; y < shown.height; y += step) {
            for (int x = 0; x < shown.width; x += step) {
                kept.push_back(shown.pixels[static_cast<std::size_t>(y) * shown.width + x] &
                               0xFFFFFF);
            }
        }
    };
    test_support::runViewerHeadless(std::move(run));
    win::headless::reset();
    return set;
}

const ReferenceSet& references(const std::vector<WPARAM>& keys, int width, int height,
                               FrameSides frame) {
    using Key = std::tuple<std::vector<WPARAM>, int, int, int, int, int, int>;
    static std::map<Key, ReferenceSet> cache;
    const auto [found, fresh] = cache.try_emplace(
        Key{keys, width, height, frame.left, frame.top, frame.right, frame.bottom});
    if (fresh) found->second = renderFrames(keys, width, height, frame, kStep, 0, 360);
    return found->second;
}

Match bestMatch(const ReferenceSet& references, const Image& image) {
    Match best;
    if (image.width != references.width || image.height != references.height) return best;
    std::vector<std::uint32_t> kept;
    for (int y = 0; y < image.height; y += references.step) {
        for (int x = 0; x < image.width; x += references.step) {
            kept.push_back(image.pixels[static_cast<std::size_t>(y) * image.width + x]);
        }
    }
    for (std::size_t angle = 0; angle < references.frames.size(); ++angle) {
        const auto& frame = references.frames[angle];
        if (frame.size() != kept.size()) continue;
        std::size_t differing = 0;
        for (std::size_t i = 0; i < kept.size(); ++i)
            differing += sameColour(kept[i], frame[i]) ? 0 : 1;
        const double share = static_cast<double>(differing) / static_cast<double>(kept.size());
        if (share < best.mismatch) best = {static_cast<int>(angle), share};
    }
    return best;
}

Match lookUntilMatch(const ReferenceSet& references, const std::function<Image()>& look,
                     double same, const Poll& poll, std::string* error) {
    Match best;
    pollUntil(
        [&] {
            const Match m = bestMatch(references, look());
            if (m.mismatch < best.mismatch) best = m;
            return best.mismatch < same;
        },
        poll, error);
    return best;
}

void typeAndMatch(XClient* client, unsigned long window, std::vector<WPARAM> pressed,
                  std::span<const KeyStep> steps, const std::function<Image()>& look,
                  const Poll& poll) {
    for (const KeyStep& step : steps) {
        const std::vector<WPARAM> before = pressed;
        pressKey(client, window, step.key);
        pressed.push_back(step.vk);
        Image seen;  // the last look: the matching one, if any
        const auto lookAndKeep = [&] { return seen = look(); };
        EXPECT_LT(lookUntilMatch(references(pressed), lookAndKeep, kSameFrame, poll).mismatch,
                  kSameFrame)
            << "after " << step.key;
        if (step.changesPicture) {
            EXPECT_GT(bestMatch(references(before), seen).mismatch, kOtherFrame)
                << step.key << " changed nothing";
        }
    }
}

}  // namespace e2e
