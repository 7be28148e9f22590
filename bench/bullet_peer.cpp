#include "bullet_peer.h"

#include <BulletCollision/BroadphaseCollision/btDbvtBroadphase.h>
#include <BulletDynamics/ConstraintSolver/btSequentialImpulseConstraintSolver.h>
#include <BulletSoftBody/btSoftBody.h>
#include <BulletSoftBody/btSoftBodyRigidBodyCollisionConfiguration.h>
#include <BulletSoftBody/btSoftRigidDynamicsWorld.h>
#include <LinearMath/btScalar.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_spheres.h"
#include "counters.h"
#include "geometry.h"

namespace tumelin::bench {

namespace {

constexpr btScalar kPointMass = 0.001f;
constexpr btScalar kGravity = 0.4f;
// the plug-in's pressure force on every point: 0.008 * ClothP (default 0.5)
constexpr double kPressureForce = 0.008 * 0.5;

// Bullet's default collision flags, or none
enum class Collisions { kDefault, kOff };

struct PeerConfig {
  const char* name;
  Collisions collisions;
};

constexpr PeerConfig kPeerConfigs[] = {{"default", Collisions::kDefault},
                                       {"collisions_off", Collisions::kOff}};

btVector3 ToBullet(TDbl3D v) {
  return btVector3(static_cast<btScalar>(v.X), static_cast<btScalar>(v.Y), static_cast<btScalar>(v.Z));
}

// a world with one soft body and nothing else
class PeerSphere {
 public:
  PeerSphere(int32_t grid, Collisions collisions)
      : collision_(std::make_unique<btSoftBodyRigidBodyCollisionConfiguration>()),
        dispatcher_(std::make_unique<btCollisionDispatcher>(collision_.get())),
        broadphase_(std::make_unique<btDbvtBroadphase>()),
        solver_(std::make_unique<btSequentialImpulseConstraintSolver>()),
        world_(std::make_unique<btSoftRigidDynamicsWorld>(dispatcher_.get(), broadphase_.get(), solver_.get(),
                                                          collision_.get())) {
    const Membrane sphere = BuildSphere(grid);
    points_ = sphere.points.Count();
    world_->setGravity(btVector3(0, 0, -kGravity));
    btSoftBodyWorldInfo& info = world_->getWorldInfo();
    info.m_gravity = btVector3(0, 0, -kGravity);
    info.m_sparsesdf.Initialize();

    std::vector<btVector3> positions;
    for (int32_t i = 0; i < points_; ++i)
      positions.push_back(ToBullet(sphere.points[static_cast<size_t>(i)].Pos));
    const std::vector<btScalar> masses(static_cast<size_t>(points_), kPointMass);
    body_ = new btSoftBody(&info, points_, positions.data(), masses.data());
    // every spring once: the membrane lists each at both ends
    for (int32_t i = 0; i < points_; ++i) {
      const TClothPoint& p = sphere.points[static_cast<size_t>(i)];
      for (int32_t j = 0; j < p.LinkCount; ++j)
        if (p.Links[j].Target > i) body_->appendLink(i, p.Links[j].Target);
    }
    // Bullet's pressure pushes along the normal of counter-clockwise corners,
    // the plug-in's against it: the same triangles, corners 1 and 2 swapped
    for (int32_t f = 0; f < sphere.faces.Count(); ++f) {
      const TClothFace& face = sphere.faces[static_cast<size_t>(f)];
      body_->appendFace(face.P0, face.P2, face.P1);
    }
    // pressure force per node = kPR * node area / volume: the plug-in's force
    // on a node of the mean area
    startVolume_ = std::fabs(SignedVolume(sphere));
    body_->m_cfg.kPR = static_cast<btScalar>(kPressureForce * startVolume_ * points_ / SurfaceArea(sphere));
    body_->m_cfg.piterations = 1;
    if (collisions == Collisions::kOff) body_->m_cfg.collisions = 0;
    // as Bullet's own mesh helpers do: with the links in grid order one
    // solver pass drifts the same way every step and crumples the sphere
    body_->randomizeConstraints();
    world_->addSoftBody(body_);
  }

  ~PeerSphere() {
    world_->removeSoftBody(body_);
    delete body_;
  }
  PeerSphere(const PeerSphere&) = delete;
  PeerSphere& operator=(const PeerSphere&) = delete;

  void Step() { world_->stepSimulation(static_cast<btScalar>(kTimeStep), 0); }
  int32_t PointCount() const { return points_; }
  double VolumeGain() const { return static_cast<double>(body_->getVolume()) / startVolume_; }

 private:
  std::unique_ptr<btSoftBodyRigidBodyCollisionConfiguration> collision_;
  std::unique_ptr<btCollisionDispatcher> dispatcher_;
  std::unique_ptr<btDbvtBroadphase> broadphase_;
  std::unique_ptr<btSequentialImpulseConstraintSolver> solver_;
  std::unique_ptr<btSoftRigidDynamicsWorld> world_;
  btSoftBody* body_ = nullptr;
  int32_t points_ = 0;
  double startVolume_ = 0.0;
};

// warmed up like the plug-in's spheres, then stepped on from run to run
PeerSphere& SharedPeer(int32_t grid, Collisions collisions) {
  static std::map<std::pair<int32_t, Collisions>, std::unique_ptr<PeerSphere>> peers;
  std::unique_ptr<PeerSphere>& peer = peers[{grid, collisions}];
  if (!peer) {
    peer = std::make_unique<PeerSphere>(grid, collisions);
    for (int32_t step = 0; step < kWarmupSteps; ++step) peer->Step();
  }
  return *peer;
}

void StepPeer(benchmark::State& state, int32_t grid, Collisions collisions) {
  PeerSphere& peer = SharedPeer(grid, collisions);
  if (!(peer.VolumeGain() > 1.0)) {
    state.SkipWithError("the peer's sphere did not inflate");
    return;
  }
  for (auto _ : state) peer.Step();
  state.counters["ns_per_point_step"] = NsPer(peer.PointCount());
  state.counters["points"] = peer.PointCount();
  state.counters["volume_gain"] = peer.VolumeGain();
}

}  // namespace

void RegisterPeerBenchmarks(int32_t grid) {
  for (const PeerConfig& config : kPeerConfigs)
    benchmark::RegisterBenchmark(("peer/bullet/" + std::string(config.name) + "/" + GridName(grid)).c_str(),
                                 StepPeer, grid, config.collisions);
}

const char* PeerName() {
  static const std::string name = "Bullet " + std::to_string(btGetVersion() / 100) + "." +
                                  std::to_string(btGetVersion() % 100) +
                                  (sizeof(btScalar) == 4 ? ", single precision" : ", double precision");
  return name.c_str();
}

}  // namespace tumelin::bench
