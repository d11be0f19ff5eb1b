#pragma once
// The decoding loop every reader of our files runs: packets in, frames out, one video stream at a time.
// Thread rules: the caller's objects, on the caller's thread.

#include <functional>

#include "platform/raii.h"

namespace zelq {

// The next frame decoded from stream `index` of `ctx`, reading packets as the decoder asks for them.
// Packets of other streams and empty ones are passed over: an empty chunk is an empty position of our
// recordings, and an empty packet would tell the decoder the stream has ended. At the end of the file, or
// where a truncated or vanished file stops, the decoder is drained (`draining` becomes true), so what was
// decoded is still given. None at the end, or when decoding fails. `report` (may be empty) hears of each
// fault: "decoding failed", "reading stopped" or "a damaged frame was skipped", with FFmpeg's code.
AvFramePtr decodeNextFrame(AVFormatContext& ctx, AVCodecContext& decoder, AVPacket& packet, int index,
                           bool& draining, const std::function<void(const char* fault, int error)>& report);

}  // namespace zelq
