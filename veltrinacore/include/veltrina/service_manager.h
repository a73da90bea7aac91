#pragma once
// The team's integrations and bots.
#include <memory>
#include <string>
#include <vector>

#include "veltrina/callbacks.h"
#include "veltrina/service.h"

namespace veltrina {

class ServiceManager {
 public:
  static ServiceManager* DefaultManager();

  void GetServices(ListCallback<Service> callback);
  std::vector<std::unique_ptr<Service>> FetchServicesFromCache();
  std::unique_ptr<Service> FetchServiceFromCacheByServiceId(const std::string& service_id);

 private:
  ServiceManager() = default;
};

}  // namespace veltrina
