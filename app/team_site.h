#pragma once
// Addresses on a team's own site. The team's subdomain comes from the service and goes in front
// of the service domain: anything but a plain host label ("evil.example/#", "a b") would make the
// address point somewhere else, so such a subdomain builds no address at all.
#include <string>

namespace veltrinawnd {

// 1 to 63 ASCII letters, digits and "-", neither first nor last a "-".
bool IsHostLabel(const std::string& label);

// "https://" subdomain "." service domain path; empty when the subdomain is no host label.
std::string TeamSiteAddress(const std::string& subdomain, const std::string& path = std::string());

}  // namespace veltrinawnd
