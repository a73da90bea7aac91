#pragma once
// Direct-message conversations of the signed-in user.
#include <memory>
#include <string>
#include <vector>

#include "veltrina/callbacks.h"
#include "veltrina/im.h"

namespace veltrina {

class IMManager {
 public:
  static IMManager* DefaultManager();

  // Loads the open conversations into the cache; the list is also handed over.
  void GetIMs(ListCallback<IM> callback);
  // Cached open conversations, in the service's order.
  std::vector<std::unique_ptr<IM>> FetchImsFromCache();
  std::unique_ptr<IM> FetchImFromCacheByImId(const std::string& im_id);

  // Opens (again) a known conversation, e.g. after a message arrived for it.
  void ActiveIM(const std::string& im_id, ResultCallback callback);
  // Opens the conversation with a user, creating it when needed; hands over the IM.
  void NewIM(const std::string& uid, RecordCallback<IM> callback);
  // Removes the conversation from the open ones (its messages are kept).
  void CloseIM(const std::string& im_id, ResultCallback callback);

 private:
  IMManager() = default;
};

}  // namespace veltrina
