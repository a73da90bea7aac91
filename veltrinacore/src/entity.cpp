#include "veltrina/entity.h"

#include "records_json.h"

namespace veltrina {

bool Entity::InitWithJsonOrDie(const std::string& json_text) {
  internal::json j = internal::Parse(json_text);
  if (!j.is_object()) {
    *this = Entity();
    return false;
  }
  *this = internal::EntityFrom(j);
  return true;
}

std::string Entity::ToJson() const { return internal::Dump(internal::ToValue(*this)); }

}  // namespace veltrina
