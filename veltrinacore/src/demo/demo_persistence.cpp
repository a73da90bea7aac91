// The state file. A file that is there but cannot be read (another program holds it) is not
// corrupt: it is left alone and nothing is saved over it until it can be read. Only a file that
// was read and does not hold a state is moved aside, under a name no earlier copy has; when even
// that fails, the file stays as it is and is treated as unreadable.
#include <windows.h>

#include "../json_store.h"
#include "../text_util.h"
#include "demo_service_impl.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"
#include "veltrina/password_hash.h"
#include "veltrina/secret.h"

namespace veltrina::backend {

namespace {

// A file written before passwords were hashed holds them as they are: hashed here, so that the
// next save (at once) writes none of them. Returns how many there were.
int HashPlainPasswords(State* state) {
  int hashed = 0;
  for (Account& a : state->accounts) {
    if (!a.password_hash.empty() || a.plain_password.empty()) continue;  // without either it never signs in
    a.password_hash = HashPassword(a.plain_password);
    WipeSecret(&a.plain_password);
    ++hashed;
  }
  return hashed;
}

}  // namespace

void DemoService::Impl::Load() {
  FileUtils* files = FileUtils::SharedFileUtils();
  const std::string path = StatePath();
  if (files->IsFileExist(path)) {
    std::string text;
    bool moved = false;
    if (files->ReadFile(path, &text)) {
      json document = internal::Parse(text);
      State loaded;
      if (document.is_object() && StateFromJson(document, &loaded)) {
        if (held_logged_) log("Demo service reads %s again; what it did meanwhile in memory is dropped", path.c_str());
        const int hashed = HashPlainPasswords(&loaded);
        state_ = std::move(loaded);
        Grow(&state_);
        saving_ = true;
        dirty_ = false;
        held_logged_ = false;
        if (hashed > 0) {
          log("Demo service stores %d passwords of %s as hashes", hashed, path.c_str());
          dirty_ = true;
          Flush();
        }
        return;
      }
      moved = MoveAside();
    }
    if (!moved) {
      if (!held_logged_)
        log("Demo service cannot read %s; it runs on its demo data in memory and saves nothing until it can",
            path.c_str());
      held_logged_ = true;
      if (state_.teams.empty()) state_ = Seeded();
      return;
    }
  }
  log("Demo service starts from its demo data in %s", folder_.c_str());
  state_ = Seeded();
  saving_ = true;
  held_logged_ = false;
  dirty_ = true;
  Flush();
}

State DemoService::Impl::Seeded() {
  State state = SeedState(Now());
  Grow(&state);
  return state;
}

void DemoService::Impl::Grow(State* state) {
  if (!large_) return;
  TeamData* t = state->FindTeam("t-demo");
  if (!t) return;
  const json changes = std::move(t->generated_changes);
  GrowLargeTeam(t, large_seed_, Int(changes, "anchor", Now()), changes);
}

bool DemoService::Impl::MoveAside() { return internal::MoveAside(StatePath()); }

void DemoService::Impl::Save() {
  if (!saving_ || dirty_) return;  // the file there holds data this service could not read, or a save is due
  dirty_ = true;
  save_due_ = std::chrono::steady_clock::now() + kSaveDelay;
  wake_.notify_all();
}

void DemoService::Impl::Flush() {
  if (!saving_ || !dirty_) return;
  if (FileUtils::SharedFileUtils()->WriteFileAtomically(StatePath(), internal::Dump(StateToJson(state_)))) {
    dirty_ = save_failing_ = false;
    return;
  }
  // A reader or a scanner may hold the file for a moment: the change stays due and is tried again.
  if (!save_failing_) log("Demo service cannot save its state; trying again");
  save_failing_ = true;
  save_due_ = std::chrono::steady_clock::now() + kSaveRetryDelay;
}

}  // namespace veltrina::backend
