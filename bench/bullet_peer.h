// The peer engine: Bullet's soft body on the same sphere as the plug-in's
// benchmarks (same points, the springs as links, the same triangles), point
// mass 0.001, gravity 0.4 along -Z, one step of 0.005 per call with one
// position-solver pass, and a pressure that inflates it. Built only where
// Bullet is installed.
#pragma once

#include <cstdint>

namespace tumelin::bench {

// registers "peer/bullet/<grid>x<grid>"
void RegisterPeerBenchmark(int32_t grid);

// "Bullet <version>, single precision" or the like
const char* PeerName();

}  // namespace tumelin::bench
