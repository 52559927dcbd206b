// The record-at-a-time interface behind s_1raat.
#pragma once

#include <cstdint>

namespace zara {

void raat_call(int32_t function, void* data, uint32_t* length);

}  // namespace zara
