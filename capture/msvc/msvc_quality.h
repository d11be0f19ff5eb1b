#pragma once
// How the compressor's quality setting (0 worst .. 10000 best) becomes the encoder's trade between picture
// error and bytes. Error is counted as the squared difference of the 5-bit components, summed over the 16
// pixels of a block.
//
// Pure functions: any thread may call them.

namespace zelq::msvc {

// The quality a caller gets when it asks for the compressor's default (any negative value).
constexpr int kDefaultQuality = 7500;

struct Rate {
    // Error one byte of output is worth: quality 10000 gives 0 (the least error whatever it costs),
    // 6550 about 24, 0 gives 200.
    int lambda = 0;
    // Error up to which a changed block keeps what the decoder already shows without even trying a code:
    // as much as the two bytes of the cheapest code are worth. Beyond it the block is still left as shown
    // when that error is no more than the error of its best code plus lambda for each byte of that code.
    int skipLimit = 0;
};

constexpr Rate rateForQuality(int quality) {
    if (quality < 0)
        quality = kDefaultQuality;
    if (quality > 10000)
        quality = 10000;
    // Quadratic, so that the upper half of the scale, where recordings are made, changes the picture
    // gently and the lower half saves bytes quickly.
    const long long loss = 10000 - quality;
    const int lambda = static_cast<int>((200 * loss * loss + 50'000'000) / 100'000'000);
    return {lambda, 2 * lambda};
}

}  // namespace zelq::msvc
