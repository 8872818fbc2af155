// SPDX-License-Identifier: MIT
// What the GenICam source asks of Aravis and of the system around a camera:
// error messages, features that may be missing, the pixel formats offered,
// the MTU of the camera's interface, the socket buffer the kernel grants,
// and the list of cameras.
// Internal to the camera source.
#ifndef QUAX_ACQUIRE_GENICAM_ARAVISFEATURES_H_
#define QUAX_ACQUIRE_GENICAM_ARAVISFEATURES_H_

#include <arv.h>

#include <cstdint>
#include <string>
#include <vector>

namespace QUAX {
namespace aravis {

// GigE Vision packets carry IP (20) and UDP (8) headers inside the packet
// size the camera is given, so a packet size up to the MTU fits one frame.
constexpr std::uint32_t kDefaultMtu = 1500;

// Aravis's message of `error` (freed here).
std::string messageOf(GError* error);

// Throws E with `what` and Aravis's message when `error` is set.
template <class E>
void check(GError* error, const std::string& what) {
  if (error != nullptr) throw E(what + ": " + messageOf(error));
}

// The MTU of the interface that holds `address` (0 when not found).
std::uint32_t mtuOf(GSocketAddress* address);
// The receive buffer the kernel grants a UDP socket that asks for `bytes`,
// as Aravis's stream socket asks: Linux caps it at net.core.rmem_max and
// reports twice the usable size.
std::uint32_t grantedSocketBuffer(std::uint32_t bytes);
// Asks for a receive buffer of `bytes` on this process's UDP socket bound to
// `port` (a stream's) and returns the usable size the kernel granted, 0 when
// no such socket is found. Aravis sizes its stream socket only once the
// first frame's leader arrives; until then the socket has the system's
// default buffer, which a first frame sent at once overflows.
std::uint32_t setStreamSocketBuffer(std::uint16_t port, std::uint32_t bytes);

std::vector<std::string> offeredFormats(ArvCamera* camera);
// "a, b, c", or "none".
std::string joined(const std::vector<std::string>& names);
bool available(ArvCamera* camera, const char* feature);
// The float feature's value, or `otherwise` where the camera lacks it.
double floatFeature(ArvCamera* camera, const char* feature, double otherwise);

}  // namespace aravis
}  // namespace QUAX

#endif  // QUAX_ACQUIRE_GENICAM_ARAVISFEATURES_H_
