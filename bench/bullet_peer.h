// The peer engine: Bullet's soft body on the same sphere as the plug-in's
// benchmarks (same points, the springs as links, the same triangles), point
// mass 0.001, gravity 0.4 along -Z, one step of 0.005 per call with one
// position-solver pass, and a pressure that inflates it. Built only where
// Bullet is installed.
//
// Two configurations: Bullet's default collision flags, and collision
// handling off (m_cfg.collisions = 0). The plug-in handles no collisions, so
// the second is the like-for-like peer. With nothing else in the world the
// two do nearly the same work: Bullet updates the nodes' bounding-volume
// tree in every step either way.
#pragma once

#include <cstdint>

namespace tumelin::bench {

// registers "peer/bullet/default/<grid>x<grid>" and
// "peer/bullet/collisions_off/<grid>x<grid>"
void RegisterPeerBenchmarks(int32_t grid);

// "Bullet <version>, single precision" or the like
const char* PeerName();

}  // namespace tumelin::bench
