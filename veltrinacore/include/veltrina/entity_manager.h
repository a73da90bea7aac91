#pragma once
// Shared files and their comments; reached through Director::entity_manager().
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "veltrina/callbacks.h"
#include "veltrina/entity.h"

namespace veltrina {

class EntityManager {
 public:
  EntityManager() = default;

  // One page (1-based) of the entities shared in a conversation, newest first. entity_type is an
  // Entity::Type (0 for all); keyword, when not empty, keeps titles that contain it. The callback
  // also gets the total number of matching entities.
  void GetEntitiesByChannelId(
      const std::string& channel_id, int channel_type, int entity_type, const std::string& keyword, int page,
      int page_size,
      std::function<void(bool ok, const std::string& error, std::vector<std::unique_ptr<Entity>> entities, int total)>
          callback);
  void GetEntityById(const std::string& entity_id, RecordCallback<Entity> callback);
  void PostCommentForEntity(const std::string& entity_id, const std::string& content, RecordCallback<Comment> callback);
};

}  // namespace veltrina
