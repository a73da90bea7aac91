#include "veltrina/im_manager.h"

#include "answer_reading.h"
#include "core.h"
#include "service_answers.h"

namespace veltrina {

using internal::Core;
using internal::json;

namespace {

std::unique_ptr<IM> CacheImOfReply(const backend::Reply& reply) {
  std::optional<IM> im = internal::ImOfAnswer(reply.body);
  if (!im) return nullptr;
  im->set_is_open(true);
  Core& core = Core::Get();
  std::lock_guard<std::mutex> lock(core.cache().mutex);
  core.cache().PutIm(*im);
  return im->Clone();
}

}  // namespace

IMManager* IMManager::DefaultManager() {
  static IMManager instance;
  return &instance;
}

void IMManager::GetIMs(ListCallback<IM> callback) {
  Core::Get().Call("ims.list", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    std::vector<IM> ims;
    std::string why;
    auto take = [&](std::string* error) { return internal::ReadImsAnswer(reply.body, &ims, error); };
    if (!internal::ReadAnswer(reply, "ims.list", take, &why)) {
      if (callback) callback(false, why, {});
      return;
    }
    {
      Core& core = Core::Get();
      std::lock_guard<std::mutex> lock(core.cache().mutex);
      core.cache().ims = ims;
    }
    std::vector<std::unique_ptr<IM>> out;
    for (const IM& i : ims)
      if (i.is_open()) out.push_back(i.Clone());
    if (callback) callback(true, "", std::move(out));
  });
}

std::vector<std::unique_ptr<IM>> IMManager::FetchImsFromCache() {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::vector<std::unique_ptr<IM>> out;
  for (const IM& i : cache.ims)
    if (i.is_open()) out.push_back(i.Clone());
  return out;
}

std::unique_ptr<IM> IMManager::FetchImFromCacheByImId(const std::string& im_id) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (const IM& i : cache.ims)
    if (i.im_id() == im_id) return i.Clone();
  return nullptr;
}

void IMManager::ActiveIM(const std::string& im_id, ResultCallback callback) {
  Core::Get().Call("ims.open", json{{"im_id", im_id}}, [callback = std::move(callback)](const backend::Reply& reply) {
    if (reply.ok) CacheImOfReply(reply);
    if (callback) callback(reply.ok, reply.ok ? std::string() : internal::ReplyError(reply));
  });
}

void IMManager::NewIM(const std::string& uid, RecordCallback<IM> callback) {
  Core::Get().Call("ims.new", json{{"uid", uid}}, [callback = std::move(callback)](const backend::Reply& reply) {
    if (!reply.ok) {
      if (callback) callback(false, internal::ReplyError(reply), nullptr);
      return;
    }
    auto im = CacheImOfReply(reply);
    if (!im) {
      if (callback) callback(false, "the answer holds no conversation", nullptr);
      return;
    }
    if (callback) callback(true, "", std::move(im));
  });
}

void IMManager::CloseIM(const std::string& im_id, ResultCallback callback) {
  Core::Get().Call("ims.close", json{{"im_id", im_id}},
                   [im_id, callback = std::move(callback)](const backend::Reply& reply) {
                     if (reply.ok) {
                       Core& core = Core::Get();
                       std::lock_guard<std::mutex> lock(core.cache().mutex);
                       for (IM& i : core.cache().ims)
                         if (i.im_id() == im_id) i.set_is_open(false);
                     }
                     if (callback) callback(reply.ok, reply.ok ? std::string() : internal::ReplyError(reply));
                   });
}

}  // namespace veltrina
