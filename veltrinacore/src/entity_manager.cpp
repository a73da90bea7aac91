#include "veltrina/entity_manager.h"

#include <algorithm>

#include "answer_reading.h"
#include "core.h"
#include "records_json.h"
#include "service_answers.h"

namespace veltrina {

using internal::Core;
using internal::json;

void EntityManager::GetEntitiesByChannelId(
    const std::string& channel_id, int channel_type, int entity_type, const std::string& keyword, int page,
    int page_size,
    std::function<void(bool ok, const std::string& error, std::vector<std::unique_ptr<Entity>> entities, int total)>
        callback) {
  json params{{"channel_id", channel_id}, {"channel_type", channel_type}, {"entity_type", entity_type},
              {"keyword", keyword},       {"page", page},                 {"page_size", page_size}};
  Core::Get().Call("entities.list", params, [callback = std::move(callback)](const backend::Reply& reply) {
    std::vector<Entity> read;
    int total = 0;
    std::string why;
    auto take = [&](std::string* error) { return internal::ReadEntitiesAnswer(reply.body, &read, &total, error); };
    if (!internal::ReadAnswer(reply, "entities.list", take, &why)) {
      if (callback) callback(false, why, {}, 0);
      return;
    }
    std::vector<std::unique_ptr<Entity>> entities;
    for (Entity& e : read) entities.push_back(std::make_unique<Entity>(std::move(e)));
    if (callback) callback(true, "", std::move(entities), total);
  });
}

void EntityManager::GetEntityById(const std::string& entity_id, RecordCallback<Entity> callback) {
  Core::Get().Call("entities.get", json{{"entity_id", entity_id}},
                   [callback = std::move(callback)](const backend::Reply& reply) {
                     json body = internal::ReplyBody(reply);
                     const json* e = internal::Member(body, "entity");
                     if (!reply.ok || !e || !e->is_object()) {
                       if (callback)
                         callback(false, reply.ok ? "the answer holds no entity" : internal::ReplyError(reply),
                                  nullptr);
                       return;
                     }
                     if (callback) callback(true, "", std::make_unique<Entity>(internal::EntityFrom(*e)));
                   });
}

void EntityManager::PostCommentForEntity(const std::string& entity_id, const std::string& content,
                                         RecordCallback<Comment> callback) {
  Core::Get().Call("entities.comment", json{{"entity_id", entity_id}, {"content", content}},
                   [callback = std::move(callback)](const backend::Reply& reply) {
                     json body = internal::ReplyBody(reply);
                     const json* c = internal::Member(body, "comment");
                     if (!reply.ok || !c || !c->is_object()) {
                       if (callback)
                         callback(false, reply.ok ? "the answer holds no comment" : internal::ReplyError(reply),
                                  nullptr);
                       return;
                     }
                     if (callback) callback(true, "", std::make_unique<Comment>(internal::CommentFrom(*c)));
                   });
}

}  // namespace veltrina
