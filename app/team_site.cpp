#include "app/team_site.h"

#include "app/constants.h"

namespace veltrinawnd {

bool IsHostLabel(const std::string& label) {
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
  for (unsigned char c : label)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) return false;
  return true;
}

std::string TeamSiteAddress(const std::string& subdomain, const std::string& path) {
  if (!IsHostLabel(subdomain)) return {};
  return "https://" + subdomain + "." + kServiceDomain + path;
}

}  // namespace veltrinawnd
