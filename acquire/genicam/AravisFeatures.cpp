// SPDX-License-Identifier: MIT
#include "acquire/genicam/AravisFeatures.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "acquire/AcquireErrors.h"
#include "acquire/genicam/GenICamSource.h"

namespace QUAX {
namespace aravis {

std::string messageOf(GError* error) {
  std::string m = error != nullptr && error->message != nullptr
                      ? error->message
                      : "unknown error";
  if (error != nullptr) g_error_free(error);
  return m;
}

std::uint32_t mtuOf(GSocketAddress* address) {
  if (address == nullptr || !G_IS_INET_SOCKET_ADDRESS(address)) return 0;
  GInetAddress* inet =
      g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(address));
  if (g_inet_address_get_family(inet) != G_SOCKET_FAMILY_IPV4) return 0;
  in_addr want{};
  std::memcpy(&want, g_inet_address_to_bytes(inet), sizeof want);
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return 0;
  std::uint32_t mtu = 0;
  for (ifaddrs* i = list; i != nullptr && mtu == 0; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
    if (in->sin_addr.s_addr != want.s_addr) continue;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) break;
    ifreq request{};
    std::strncpy(request.ifr_name, i->ifa_name, IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFMTU, &request) == 0 && request.ifr_mtu > 0)
      mtu = static_cast<std::uint32_t>(request.ifr_mtu);
    close(fd);
  }
  freeifaddrs(list);
  return mtu;
}

namespace {

// Asks for a receive buffer of `bytes` on socket `fd` and returns the usable
// size the kernel granted (Linux reports twice that), 0 on failure.
std::uint32_t askReceiveBuffer(int fd, std::uint32_t bytes) {
  int asked = static_cast<int>(std::min<std::uint32_t>(bytes, 1u << 30));
  int granted = 0;
  socklen_t size = sizeof granted;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &asked, sizeof asked) != 0 ||
      getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &size) != 0) {
    return 0;
  }
  return static_cast<std::uint32_t>(granted / 2);
}

// This process's IPv4 datagram socket bound to `port`, -1 if none.
int datagramSocketOn(std::uint16_t port) {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  int found = -1;
  while (const dirent* entry = readdir(fds)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == dirfd(fds)) continue;
    sockaddr_in address{};
    socklen_t size = sizeof address;
    int type = 0;
    socklen_t typeSize = sizeof type;
    if (getsockname(int(fd), reinterpret_cast<sockaddr*>(&address), &size) ==
            0 &&
        address.sin_family == AF_INET && ntohs(address.sin_port) == port &&
        getsockopt(int(fd), SOL_SOCKET, SO_TYPE, &type, &typeSize) == 0 &&
        type == SOCK_DGRAM) {
      found = int(fd);
      break;
    }
  }
  closedir(fds);
  return found;
}

}  // namespace

std::uint32_t grantedSocketBuffer(std::uint32_t bytes) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return 0;
  const std::uint32_t granted = askReceiveBuffer(fd, bytes);
  close(fd);
  return granted;
}

std::uint32_t setStreamSocketBuffer(std::uint16_t port, std::uint32_t bytes) {
  const int fd = datagramSocketOn(port);
  return fd < 0 ? 0 : askReceiveBuffer(fd, bytes);
}

std::vector<std::string> offeredFormats(ArvCamera* camera) {
  std::vector<std::string> names;
  guint n = 0;
  GError* error = nullptr;
  const char** list =
      arv_camera_dup_available_pixel_formats_as_strings(camera, &n, &error);
  check<EAcquireDevice>(error, "the camera's pixel formats");
  for (guint i = 0; i < n; ++i)
    if (list[i] != nullptr) names.emplace_back(list[i]);
  g_free(list);
  return names;
}

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s.empty() ? "none" : s;
}

bool available(ArvCamera* camera, const char* feature) {
  GError* error = nullptr;
  const bool yes = arv_camera_is_feature_available(camera, feature, &error);
  if (error != nullptr) g_error_free(error);
  return yes;
}

double floatFeature(ArvCamera* camera, const char* feature, double otherwise) {
  if (!available(camera, feature)) return otherwise;
  GError* error = nullptr;
  const double v = arv_camera_get_float(camera, feature, &error);
  if (error != nullptr) {
    g_error_free(error);
    return otherwise;
  }
  return v;
}

}  // namespace aravis

std::vector<CameraInfo> cameras() {
  arv_update_device_list();
  std::vector<CameraInfo> list;
  const unsigned n = arv_get_n_devices();
  auto text = [](const char* s) { return std::string(s != nullptr ? s : ""); };
  for (unsigned i = 0; i < n; ++i) {
    CameraInfo c;
    c.id = text(arv_get_device_id(i));
    c.vendor = text(arv_get_device_vendor(i));
    c.model = text(arv_get_device_model(i));
    c.serial = text(arv_get_device_serial_nbr(i));
    c.address = text(arv_get_device_address(i));
    c.protocol = text(arv_get_device_protocol(i));
    list.push_back(c);
  }
  return list;
}

}  // namespace QUAX
