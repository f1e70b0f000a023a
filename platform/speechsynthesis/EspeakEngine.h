// The real synthesizer: espeak-ng in synchronous mode. espeak-ng keeps process-wide state, so
// one instance serves the whole process.
#pragma once

#include <memory>

#include "platform/speechsynthesis/Engine.h"

namespace vellora::speech {

// Null when espeak-ng cannot start (no data folder, for one).
std::shared_ptr<Engine> MakeEspeakEngine();

}  // namespace vellora::speech
