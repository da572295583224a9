#include "engine/run_control.h"

#include "base/file_replace.h"
#include "decoder/contained_decoder.h"
#include "decoder/decoder_server.h"

namespace kx::engine {

void prepareConversions() {
    decoder::startDecoderServer();
}

void finishConversions() {
    decoder::stopDecoderServer();
}

void abandonConversions() {
    base::abandonFileWrites();
    decoder::endAllDecoders();
}

} // namespace kx::engine
