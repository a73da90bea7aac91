#include "veltrina/service_manager.h"

#include "answer_reading.h"
#include "core.h"
#include "service_answers.h"

namespace veltrina {

using internal::Core;
using internal::json;

ServiceManager* ServiceManager::DefaultManager() {
  static ServiceManager instance;
  return &instance;
}

void ServiceManager::GetServices(ListCallback<Service> callback) {
  Core::Get().Call("services.list", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    std::vector<Service> services;
    std::string why;
    auto take = [&](std::string* error) { return internal::ReadServicesAnswer(reply.body, &services, error); };
    if (!internal::ReadAnswer(reply, "services.list", take, &why)) {
      if (callback) callback(false, why, {});
      return;
    }
    {
      Core& core = Core::Get();
      std::lock_guard<std::mutex> lock(core.cache().mutex);
      core.cache().services = services;
    }
    std::vector<std::unique_ptr<Service>> out;
    for (const Service& s : services) out.push_back(s.Clone());
    if (callback) callback(true, "", std::move(out));
  });
}

std::vector<std::unique_ptr<Service>> ServiceManager::FetchServicesFromCache() {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::vector<std::unique_ptr<Service>> out;
  for (const Service& s : cache.services) out.push_back(s.Clone());
  return out;
}

std::unique_ptr<Service> ServiceManager::FetchServiceFromCacheByServiceId(const std::string& service_id) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (const Service& s : cache.services)
    if (s.service_id() == service_id) return s.Clone();
  return nullptr;
}

}  // namespace veltrina
