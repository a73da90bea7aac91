// The change log of each team, and what one session is told of each change when it polls.
#include "engine_impl.h"
#include "records_json.h"

namespace veltrina::engine {

void Engine::Impl::Record(TeamData* t, Change change, bool echo) {
  change.seq = ++t->seq;
  change.origin = Origin();
  change.echo = echo;
  t->log.push_back(std::move(change));
  while (t->log.size() > std::max<size_t>(options_.kept_changes, 1)) t->log.pop_front();
  Touch(RecordKind::kTeam, t, t->team.team_id());
  Touch(RecordKind::kChange, t, std::to_string(t->seq));
}

void Engine::Impl::Announce(TeamData* t, const Message& m, bool echo) {
  const std::string& conversation = m.ChannelID();
  if (DirectChat* d = FindChat(t, conversation)) {
    // A direct message opens the chat for whoever had closed it (or never listed it).
    for (const std::string& uid : {d->uid_a, d->uid_b}) {
      if (d->open_for.count(uid)) continue;
      d->open_for.insert(uid);
      Touch(RecordKind::kChat, t, d->im_id);
      Record(t, Change{.kind = Change::Kind::kIm, .conversation = d->im_id, .uid = uid});
    }
  }
  Record(t, Change{.kind = Change::Kind::kMessage, .conversation = conversation, .uid = m.uid(),
                   .body = internal::Dump(internal::ToValue(m))},
         echo);
}

void Engine::Impl::ChannelChanged(TeamData* t, const Channel& c, const std::string& left_uid) {
  Touch(RecordKind::kChannel, t, c.channel_id());
  Record(t, Change{.kind = Change::Kind::kChannel, .conversation = c.channel_id(), .uid = left_uid}, false);
}

// Must tell at least everyone Render may give an event to.
Audience Engine::Impl::Concerned(const std::string& team_id, int64_t since) {
  Audience a;
  TeamData* t = state_.FindTeam(team_id);
  if (!t) return a;
  const int64_t first = t->log.empty() ? t->seq + 1 : t->log.front().seq;
  if (since > t->seq || since < first - 1) {
    a.everyone = true;  // such a poll is answered with a resync
    return a;
  }
  for (size_t i = static_cast<size_t>(since + 1 - first); i < t->log.size(); ++i) {
    const Change& c = t->log[i];
    switch (c.kind) {
      case Change::Kind::kMessage:
        if (const Channel* channel = FindChannel(t, c.conversation))
          a.uids.insert(a.uids.end(), channel->member_uids().begin(), channel->member_uids().end());
        else if (const DirectChat* d = FindChat(t, c.conversation))
          a.uids.insert(a.uids.end(), {d->uid_a, d->uid_b});
        break;
      case Change::Kind::kUnread:
      case Change::Kind::kIm:
        a.uids.push_back(c.uid);
        break;
      case Change::Kind::kChannel:
        if (const Channel* channel = FindChannel(t, c.conversation)) {
          if (channel->type() != Channel::kPrivate) {
            a.everyone = true;
            return a;
          }
          a.uids.insert(a.uids.end(), channel->member_uids().begin(), channel->member_uids().end());
          a.uids.push_back(c.uid);
        }
        break;
      case Change::Kind::kPresence:
      case Change::Kind::kUser:
        a.everyone = true;
        return a;
    }
  }
  return a;
}

void Engine::Impl::Render(TeamData* t, const Change& c, const Session& reader, std::vector<Event>* out) {
  if (!c.echo && c.origin != 0 && c.origin == reader.id) return;
  auto emit = [&](const char* name, std::string body) { out->push_back(Event{c.seq, name, std::move(body)}); };
  switch (c.kind) {
    case Change::Kind::kMessage:
      if (!Sees(t, c.conversation, reader.uid)) return;
      emit("message", "{\"message\":" + c.body + "}");
      // The writer's own session knows its counts did not move.
      if (c.uid != reader.uid || c.origin != reader.id)
        emit("unread", internal::Dump(Counts(t, reader.uid, c.conversation)));
      return;
    case Change::Kind::kUnread:
      if (c.uid == reader.uid && Sees(t, c.conversation, reader.uid))
        emit("unread", internal::Dump(Counts(t, reader.uid, c.conversation)));
      return;
    case Change::Kind::kIm:
      if (const DirectChat* d = FindChat(t, c.conversation); d && c.uid == reader.uid && d->Has(reader.uid))
        emit("im", internal::Dump(json{{"im", internal::ToValue(View(*d, reader.uid))}}));
      return;
    case Change::Kind::kChannel:
      if (const Channel* channel = FindChannel(t, c.conversation);
          channel && (channel->type() != Channel::kPrivate || IsMember(*channel, reader.uid) || c.uid == reader.uid))
        emit("channel", internal::Dump(json{{"channel", internal::ToValue(View(*channel, reader.uid))}}));
      return;
    case Change::Kind::kPresence:
      emit("presence", c.body);
      return;
    case Change::Kind::kUser:
      emit("user", c.body);
      return;
  }
}

Page Engine::Impl::Poll(const Session& session, int64_t since, size_t limit) {
  Page page;
  TeamData* t = state_.FindTeam(session.team_id);
  if (!t) return page;
  page.next = t->seq;
  const int64_t first = t->log.empty() ? t->seq + 1 : t->log.front().seq;
  // A position from the future (a restored older state) or older than the log: fetch again.
  if (since > t->seq || since < first - 1) {
    page.resync = true;
    return page;
  }
  page.next = since;
  for (size_t i = static_cast<size_t>(since + 1 - first); i < t->log.size(); ++i) {
    if (limit == 0) {
      page.more = true;
      break;
    }
    --limit;
    Render(t, t->log[i], session, &page.events);
    page.next = t->log[i].seq;
  }
  return page;
}

}  // namespace veltrina::engine
