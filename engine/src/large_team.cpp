#include "veltrina/engine/large_team.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unordered_set>

#include "veltrina/engine/state.h"

namespace veltrina::engine {

using namespace internal;

namespace {

// SplitMix64: the same numbers on every machine, unlike the standard distributions.
uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

uint64_t Pick(uint64_t key, uint64_t a, uint64_t b = 0) { return Mix(key ^ Mix(a * 0x100000001b3ULL + b)); }

struct Rng {
  uint64_t state;
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Mix(state++) % n); }
  bool Percent(uint32_t p) { return Below(100) < p; }
};

template <size_t N>
const char* Of(const char* const (&list)[N], uint64_t r) {
  return list[r % N];
}

std::string Numbered(const char* prefix, int n, int digits) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%0*d", prefix, digits, n);
  return buffer;
}

std::string UidOf(uint16_t member) { return member == 0 ? "u-alice" : Numbered("u-x", member, 4); }

const char* const kSurnames[][2] = {{"王", "wang"}, {"李", "li"},   {"张", "zhang"}, {"刘", "liu"},  {"陈", "chen"},
                                    {"杨", "yang"}, {"赵", "zhao"}, {"黄", "huang"}, {"周", "zhou"}, {"吴", "wu"},
                                    {"徐", "xu"},   {"孙", "sun"},  {"胡", "hu"},    {"朱", "zhu"},  {"高", "gao"},
                                    {"林", "lin"},  {"何", "he"},   {"郭", "guo"},   {"马", "ma"},   {"罗", "luo"}};
const char* const kGiven[][2] = {{"伟", "wei"},  {"芳", "fang"},  {"娜", "na"},        {"敏", "min"},  {"静", "jing"},
                                 {"丽", "li"},   {"强", "qiang"}, {"磊", "lei"},       {"军", "jun"},  {"洋", "yang"},
                                 {"勇", "yong"}, {"艳", "yan"},   {"杰", "jie"},       {"娟", "juan"}, {"涛", "tao"},
                                 {"明", "ming"}, {"超", "chao"},  {"秀英", "xiuying"}, {"霞", "xia"},  {"平", "ping"}};
const char* const kFirst[] = {"Emma",    "Liam",  "Olivia", "Noah",   "Ava",    "Ethan",  "Sophia", "Mason",
                              "Mia",     "Lucas", "Amelia", "Oliver", "Harper", "Elijah", "Evelyn", "James",
                              "Abigail", "Henry", "Grace",  "Jack",   "Chloe",  "Daniel", "Lily",   "Samuel"};
const char* const kLast[] = {"Smith", "Johnson", "Brown", "Taylor", "Miller", "Wilson", "Moore", "Clark",
                             "Lewis", "Walker",  "Hall",  "Young",  "King",   "Wright", "Scott", "Green"};
const char* const kPrefixes[] = {"proj",  "team",    "topic",  "ask", "fun", "ops",
                                 "sales", "support", "design", "dev", "qa",  "data"};
const char* const kWords[] = {"orion",  "atlas",   "falcon",  "harbor", "maple", "comet",  "delta", "ember",
                              "forest", "glacier", "horizon", "island", "jade",  "kite",   "lotus", "meteor",
                              "nebula", "ocean",   "pixel",   "quartz", "river", "summit", "tiger", "willow"};
const char* const kChineseNames[] = {"产品讨论", "市场周报", "技术分享", "读书角",   "跑步小组",
                                     "摄影",     "美食推荐", "招聘",     "客户反馈", "周会"};
const char* const kTopics[] = {"",         "每周同步",     "Questions welcome", "发布与上线", "日常闲聊",
                               "设计评审", "客户问题跟进", "Weekly sync",       "数据看板",   "读书笔记"};
const char* const kPhrases[] = {"早上好",
                                "这个需求我来跟进。",
                                "PR 已经提了，帮忙 review 一下",
                                "午饭一起吗？",
                                "我晚点回复你。",
                                "测试环境好像挂了",
                                "好主意",
                                "会议改到四点。",
                                "谢谢！",
                                "今天的构建全部通过",
                                "收到，马上处理。",
                                "Can someone take a look at this?",
                                "Shipping it today.",
                                "Let's sync tomorrow morning.",
                                "新版本的截图发出来了",
                                "客户那边反馈很好",
                                "文档我更新了一版",
                                "Looks good to me",
                                "周五之前能完成吗？",
                                "这个 bug 复现不了",
                                "Any blockers?",
                                "数据已经导出来了",
                                "下周一上线",
                                "I'll handle the release notes."};
const char* const kEmoji[] = {":smile:", ":+1:",   ":tada:", ":coffee:",  ":rocket:", ":joy:",
                              ":eyes:",  ":pray:", ":fire:", ":ok_hand:", ":sunny:",  ":white_check_mark:"};
const char* const kExtensions[] = {"pdf", "zip", "xlsx", "docx", "txt", "mp4", "psd", "xyz"};

enum class Kind {
  kText,
  kLongText,
  kImage,
  kFile,
  kDocument,
  kSnippet,
  kComment,
  kMail,
  kAttachment,
  kLink,
  kServiceText,
  kSystem
};

Kind BaseKind(const GeneratedConversation& c, int32_t i) {
  const uint64_t roll = Pick(c.key, static_cast<uint64_t>(i)) % 100;
  if (c.direct) {
    return roll < 70   ? Kind::kText
           : roll < 80 ? Kind::kImage
           : roll < 88 ? Kind::kFile
           : roll < 92 ? Kind::kDocument
           : roll < 96 ? Kind::kSnippet
                       : Kind::kComment;
  }
  static const std::pair<uint64_t, Kind> kBands[] = {
      {52, Kind::kText},    {60, Kind::kImage},       {66, Kind::kFile},   {70, Kind::kDocument},
      {74, Kind::kSnippet}, {79, Kind::kComment},     {82, Kind::kMail},   {86, Kind::kAttachment},
      {89, Kind::kLink},    {94, Kind::kServiceText}, {97, Kind::kSystem}, {100, Kind::kLongText}};
  for (const auto& [below, kind] : kBands)
    if (roll < below) return kind;
  return Kind::kText;
}

bool IsShare(Kind k) { return k == Kind::kImage || k == Kind::kFile || k == Kind::kDocument || k == Kind::kSnippet; }

// The share a comment is about: the latest within the thirty messages before it, or -1 (then the
// message is plain text).
int32_t CommentedShare(const GeneratedConversation& c, int32_t i) {
  for (int32_t j = i - 1; j >= 0 && j >= i - 30; --j)
    if (IsShare(BaseKind(c, j))) return j;
  return -1;
}

Kind KindAt(const GeneratedConversation& c, int32_t i) {
  Kind k = BaseKind(c, i);
  return k == Kind::kComment && CommentedShare(c, i) < 0 ? Kind::kText : k;
}

std::string Text(const GeneratedConversation& c, int32_t i, const std::string& sender) {
  const uint64_t r = Pick(c.key, static_cast<uint64_t>(i), 3);
  std::string text = Of(kPhrases, r);
  if (r % 7 == 0 && c.cast.size() > 1) {
    std::string other = UidOf(c.cast[(r >> 8) % c.cast.size()]);
    if (other != sender) text = "<@" + other + "> " + text;
  }
  if ((r >> 12) % 10 < 4) text += std::string(" ") + Of(kEmoji, r >> 16);
  if ((r >> 20) % 10 == 0) text += " 详情见 [https://veltrina.demo/wiki/" + std::to_string(r % 997) + "|wiki]";
  if ((r >> 24) % 10 == 1) text += " https://veltrina.demo/issues/" + std::to_string(r % 4999);
  if ((r >> 28) % 20 == 2) text += " 参见 <#c-general>";
  return text;
}

Entity EntityAt(const GeneratedConversation& c, int32_t i, Kind kind, const std::string& sender) {
  const uint64_t r = Pick(c.key, static_cast<uint64_t>(i), 4);
  const std::string n = std::to_string(i);
  Entity e;
  e.set_entity_id("e-" + c.id + "." + n);
  e.set_channel_id(c.id);
  e.set_path("f/" + e.entity_id());
  e.set_creator_uid(sender);
  e.set_created_at(c.TimeOf(i));
  e.set_file_size(static_cast<int64_t>(1024 + r % 5000000));
  switch (kind) {
    case Kind::kImage: {
      static const int kShapes[][2] = {{600, 300}, {300, 600}, {400, 400}, {640, 480}};
      const int* shape = kShapes[(r >> 8) % 4];
      e.set_entity_type(Entity::kImage);
      e.set_title((r % 2 ? "photo-" : "截图-") + n + ".png");
      e.set_file_extension("png");
      e.set_thumb_width(shape[0]);
      e.set_thumb_height(shape[1]);
      break;
    }
    case Kind::kDocument:
      e.set_entity_type(Entity::kDocument);
      e.set_title("会议纪要 " + n);
      e.set_file_extension("md");
      e.set_content("会议纪要\n1. 进展同步\n2. 风险与计划\n3. 下周继续");
      break;
    case Kind::kSnippet: {
      static const char* const kSnippets[][3] = {
          {"css", "CSS", ".header {\n  color: #4bbcb7;\n}\n"},
          {"py", "Python", "def greet(name):\n    print(f\"hello, {name}\")\n"},
          {"cpp", "C++", "int main() {\n  std::puts(\"hello, veltrina\");\n}\n"}};
      const char* const* s = kSnippets[(r >> 8) % 3];
      e.set_entity_type(Entity::kSnippet);
      e.set_title("snippet-" + n + "." + s[0]);
      e.set_file_extension(s[0]);
      e.set_snippet_type(s[1]);
      e.set_content(s[2]);
      break;
    }
    case Kind::kMail:
      e.set_entity_type(Entity::kMail);
      e.set_title("周报 " + n);
      e.set_subject("本周进展与下周计划（" + n + "）");
      e.set_from("reports@veltrina.demo");
      e.set_path("");
      break;
    case Kind::kLink:
      e.set_entity_type(Entity::kLink);
      e.set_title("Veltrina 博客：协作技巧 " + n);
      e.set_public_url("https://blog.veltrina.demo/tips/" + n);
      e.set_summary("好的团队协作从清晰的频道开始。");
      e.set_path("");
      break;
    default: {
      const char* ext = Of(kExtensions, r >> 8);
      e.set_entity_type(Entity::kFile);
      e.set_title(std::string("report-") + n + "." + ext);
      e.set_file_extension(ext);
      break;
    }
  }
  return e;
}

}  // namespace

int64_t GeneratedConversation::TimeOf(int32_t i) const {
  return first + static_cast<int64_t>(i) * step +
         static_cast<int64_t>(Pick(key, static_cast<uint64_t>(i), 9) % (step / 2));
}

int32_t GeneratedConversation::FirstAfter(int64_t time) const {
  int32_t low = 0, high = count;
  while (low < high) {
    int32_t mid = low + (high - low) / 2;
    if (TimeOf(mid) > time)
      high = mid;
    else
      low = mid + 1;
  }
  return low;
}

int32_t GeneratedConversation::IndexOf(const std::string& key) const {
  if (key.size() <= id.size() + 1 || key.size() > id.size() + 7 || key.compare(0, id.size(), id) != 0 ||
      key[id.size()] != '.')
    return -1;
  int32_t i = 0;
  for (size_t k = id.size() + 1; k < key.size(); ++k) {
    if (key[k] < '0' || key[k] > '9') return -1;
    i = i * 10 + (key[k] - '0');
  }
  return i < count ? i : -1;
}

const GeneratedConversation* GeneratedTeam::Find(const std::string& id) const {
  auto it = index.find(id);
  return it == index.end() ? nullptr : &conversations[it->second];
}

std::string GeneratedTeam::Sender(const GeneratedConversation& c, int32_t i) const {
  switch (KindAt(c, i)) {
    case Kind::kAttachment:
    case Kind::kServiceText:
      return "s-deploy";
    case Kind::kLink:
      return "s-rss";
    default:
      return UidOf(c.cast[Pick(c.key, static_cast<uint64_t>(i), 1) % c.cast.size()]);
  }
}

bool GeneratedTeam::IsSystem(const GeneratedConversation& c, int32_t i) const { return KindAt(c, i) == Kind::kSystem; }

Message GeneratedTeam::MessageAt(const GeneratedConversation& c, int32_t i) const {
  const Kind kind = KindAt(c, i);
  const std::string sender = Sender(c, i);
  Message m;
  m.set_key(c.id + "." + std::to_string(i));
  m.set_uid(sender);
  m.set_channel_id(c.id);
  m.set_timestamp(c.TimeOf(i));
  m.set_sender_type(Message::kSenderUser);
  m.set_message_type(Message::kText);
  m.set_channel_type(c.direct ? Message::kDirectMessage : Message::kChannelMessage);
  if (c.direct) m.set_to_uid(UidOf(c.cast[0]) == sender ? UidOf(c.cast[1]) : UidOf(c.cast[0]));
  switch (kind) {
    case Kind::kText:
      m.set_content(Text(c, i, sender));
      break;
    case Kind::kLongText:
      m.set_content("今日进展：\n1. " + Text(c, i, sender) +
                    "\n2. 修复了两个问题 :bug:\n3. 明天继续 [https://veltrina.demo/board|看板]");
      break;
    case Kind::kImage:
    case Kind::kFile:
    case Kind::kDocument:
    case Kind::kSnippet: {
      Entity e = EntityAt(c, i, kind, sender);
      static const std::pair<Kind, int> kTypes[] = {{Kind::kImage, Message::kImage},
                                                    {Kind::kFile, Message::kFile},
                                                    {Kind::kDocument, Message::kDocument},
                                                    {Kind::kSnippet, Message::kSnippet}};
      for (const auto& [k, type] : kTypes)
        if (k == kind) m.set_message_type(type);
      m.set_content((kind == Kind::kImage ? "上传了图片: " : "上传了文件: ") + e.title());
      m.set_entity_json(e.ToJson());
      break;
    }
    case Kind::kComment: {
      const int32_t j = CommentedShare(c, i);
      m.set_message_type(Message::kComment);
      m.set_content(Pick(c.key, static_cast<uint64_t>(i), 5) % 2 ? "这个版本不错 :+1:" : "第二页需要再改一下");
      m.set_entity_json(EntityAt(c, j, KindAt(c, j), Sender(c, j)).ToJson());
      break;
    }
    case Kind::kMail:
      m.set_message_type(Message::kMail);
      m.set_content("转发了一封邮件");
      m.set_entity_json(EntityAt(c, i, kind, sender).ToJson());
      break;
    case Kind::kLink:
      m.set_sender_type(Message::kSenderServiceEntity);
      m.set_content("协作技巧");
      m.set_entity_json(EntityAt(c, i, kind, sender).ToJson());
      break;
    case Kind::kServiceText:
      m.set_sender_type(Message::kSenderService);
      m.set_message_type(Message::kServiceText);
      m.set_content("夜间构建通过 :white_check_mark:");
      break;
    case Kind::kAttachment: {
      const bool ok = Pick(c.key, static_cast<uint64_t>(i), 6) % 4 != 0;
      m.set_sender_type(Message::kSenderService);
      m.set_message_type(Message::kAttachment);
      m.set_content("构建报告");
      Attachment a;
      a.set_pretext("Deploybot 部署了 <#" + c.id + "> 的新版本");
      a.set_color(ok ? "#36A64F" : "#FF0000");
      a.set_title(ok ? "部署成功" : "部署失败");
      a.set_title_link("https://veltrina.demo/deploys/" + std::to_string(i));
      a.set_author_name("Deploybot");
      a.set_text(ok ? "共 " + std::to_string(3 + i % 40) + " 个提交，详情见 [https://veltrina.demo/changelog|变更记录]"
                    : "请 <@" + UidOf(c.cast[0]) + "> 查看日志");
      a.set_fields({{"环境", "production", true},
                    {"耗时", std::to_string(1 + i % 9) + " 分钟", true},
                    {"说明", "数据库迁移已完成，无需停机。", false}});
      m.set_attachment(a);
      break;
    }
    case Kind::kSystem:
      m.set_message_type(Message::kSystem);
      m.set_content("<@" + sender + "> 加入了 <#" + c.id + ">");
      break;
  }
  return m;
}

bool GeneratedTeam::EntityById(const std::string& entity_id, Entity* out) const {
  const size_t dot = entity_id.rfind('.');
  const GeneratedConversation* c =
      entity_id.compare(0, 2, "e-") == 0 && dot != std::string::npos ? Find(entity_id.substr(2, dot - 2)) : nullptr;
  const int32_t i = c ? c->IndexOf(entity_id.substr(2)) : -1;
  if (i < 0) return false;
  const Kind kind = KindAt(*c, i);
  if (!IsShare(kind) && kind != Kind::kMail && kind != Kind::kLink) return false;
  *out = EntityAt(*c, i, kind, Sender(*c, i));
  return out->entity_id() == entity_id;  // no other spelling of the same index
}

std::vector<Entity> GeneratedTeam::SharedFiles(const GeneratedConversation& c) const {
  std::vector<Entity> out;
  for (int32_t i = 0; i < c.count; ++i)
    if (Kind kind = KindAt(c, i); IsShare(kind)) out.push_back(EntityAt(c, i, kind, Sender(c, i)));
  return out;
}

bool IsGeneratedId(const std::string& id) {
  const size_t dash = id.find('-');
  return dash != std::string::npos && dash + 2 < id.size() && id[dash + 1] == 'x' && id[dash + 2] >= '0' &&
         id[dash + 2] <= '9';
}

uint64_t Fingerprint(const std::vector<std::string>& ids) {
  uint64_t h = ids.size();
  for (const std::string& id : ids)
    for (char ch : id) h = Mix(h ^ static_cast<unsigned char>(ch));
  return h;
}

void GrowLargeTeam(TeamData* team, uint32_t seed, int64_t anchor, const json& changes) {
  auto g = std::make_shared<GeneratedTeam>();
  g->seed = seed;
  g->anchor = anchor;
  Rng rng{Mix(seed)};
  const int64_t day = 86400;

  // Members: about half of them with Chinese names; login names are unique.
  std::unordered_set<std::string> taken;
  for (const User& u : team->users) taken.insert(u.user_name());
  team->users.reserve(team->users.size() + kLargeMembers);
  for (int n = 1; n <= kLargeMembers; ++n) {
    std::string name, display;
    if (rng.Percent(55)) {
      const char* const* s = kSurnames[rng.Below(20)];
      const char* const* g2 = kGiven[rng.Below(20)];
      display = std::string(s[0]) + g2[0];
      name = std::string(s[1]) + "." + g2[1];
    } else {
      std::string first = kFirst[rng.Below(24)], last = kLast[rng.Below(16)];
      display = first + " " + last;
      name = first + "." + last;
      std::transform(name.begin(), name.end(), name.begin(),
                     [](char ch) { return static_cast<char>(std::tolower(ch)); });
    }
    if (!taken.insert(name).second) {
      name += std::to_string(n);
      taken.insert(name);
    }
    const uint32_t presence = rng.Below(100), role = rng.Below(100);
    User u;
    u.set_uid(UidOf(static_cast<uint16_t>(n)));
    u.set_user_name(name);
    u.set_display_name(display);
    u.set_email(name + "@veltrina.demo");
    u.set_header_url("av" + u.uid().substr(2) + ".png");
    u.set_status(presence < 40   ? User::kOffline
                 : presence < 75 ? User::kOnline
                 : presence < 85 ? User::kBusy
                                 : User::kAway);
    u.set_role(role < 2 ? User::kRoleAdmin : role < 10 ? User::kRoleGuest : User::kRoleMember);
    u.set_state(rng.Percent(1) ? User::kStateInactive : User::kStateNormal);
    team->users.push_back(std::move(u));
  }
  for (Channel& c : team->channels) {
    if (!c.IsGeneral()) continue;
    std::vector<std::string> members = c.member_uids();
    std::erase_if(members, IsGeneratedId);
    for (int n = 1; n <= kLargeMembers; ++n) members.push_back(UidOf(static_cast<uint16_t>(n)));
    c.set_member_uids(std::move(members));
  }

  auto history = [&](const std::string& id, bool direct, std::vector<uint16_t> cast) {
    GeneratedConversation c;
    c.id = id;
    c.key = Mix(Mix(seed) ^ Fingerprint({id}));
    c.direct = direct;
    c.count = static_cast<int32_t>(150 + rng.Below(451));
    c.step = static_cast<int32_t>(300 + rng.Below(7000));
    c.first = anchor - static_cast<int64_t>(c.count) * c.step - rng.Below(3600);
    c.read = rng.Percent(35) ? c.count - static_cast<int32_t>(1 + rng.Below(30)) : c.count;
    c.cast = std::move(cast);
    g->index[id] = g->conversations.size();
    g->conversations.push_back(std::move(c));
  };

  // Channels and groups: alice belongs to most of them, the rest are there to join (or unseen).
  std::unordered_set<std::string> names;
  for (const Channel& c : team->channels) names.insert(c.channel_name());
  for (int k = 1; k <= kLargeChannels + kLargeGroups; ++k) {
    const bool group = k > kLargeChannels;
    const int number = group ? k - kLargeChannels : k;
    std::string name = rng.Percent(15) ? std::string(kChineseNames[rng.Below(10)])
                                       : std::string(kPrefixes[rng.Below(12)]) + "-" + kWords[rng.Below(24)];
    if (!names.insert(name).second) {
      name += "-" + std::to_string(number);
      names.insert(name);
    }
    std::vector<uint16_t> members;
    const uint32_t size = group ? 2 + rng.Below(12) : 3 + rng.Below(40);
    while (members.size() < size) {
      const uint16_t n = static_cast<uint16_t>(1 + rng.Below(kLargeMembers));
      if (std::find(members.begin(), members.end(), n) == members.end()) members.push_back(n);
    }
    if (rng.Percent(group ? 92 : 85)) members.insert(members.begin() + rng.Below(size + 1), 0);
    Channel c;
    c.set_channel_id(Numbered(group ? "g-x" : "c-x", number, 3));
    c.set_channel_name(name);
    c.set_topic(kTopics[rng.Below(10)]);
    c.set_type(group ? Channel::kPrivate : Channel::kPublic);
    c.set_creator_uid(UidOf(members.front()));
    c.set_created_at(anchor - (200 + rng.Below(500)) * day);
    c.set_is_archived(!group && rng.Percent(2));
    std::vector<std::string> uids;
    uids.reserve(members.size());
    for (uint16_t n : members) uids.push_back(UidOf(n));
    c.set_member_uids(std::move(uids));
    history(c.channel_id(), false,
            std::vector<uint16_t>(members.begin(), members.begin() + std::min<size_t>(6, members.size())));
    team->channels.push_back(std::move(c));
  }

  // Direct messages of alice, each with a different member (7919 is prime to 3000).
  for (int k = 1; k <= kLargeChats; ++k) {
    const uint16_t peer = static_cast<uint16_t>(1 + (k * 7919 + seed) % kLargeMembers);
    DirectChat d;
    d.im_id = Numbered("im-x", k, 3);
    d.uid_a = "u-alice";
    d.uid_b = UidOf(peer);
    d.created_at = anchor - (10 + rng.Below(300)) * day;
    d.open_for.insert(d.uid_b);
    if (rng.Percent(90)) d.open_for.insert(d.uid_a);
    history(d.im_id, true, {0, peer});
    team->chats.push_back(std::move(d));
  }

  // Remember what was generated, then bring back what changed since.
  const json* channels = Member(changes, "channels");
  const json* chats = Member(changes, "chats");
  auto uids = [](const json& list) {
    std::vector<std::string> out;
    if (list.is_array())
      for (const json& uid : list)
        if (uid.is_string()) out.push_back(uid.get<std::string>());
    return out;
  };
  for (Channel& c : team->channels) {
    if (!IsGeneratedId(c.channel_id())) continue;
    g->baseline[c.channel_id()] = Fingerprint(c.member_uids());
    if (const json* changed = channels ? Member(*channels, c.channel_id().c_str()) : nullptr)
      c.set_member_uids(uids(*changed));
  }
  for (DirectChat& d : team->chats) {
    if (!IsGeneratedId(d.im_id)) continue;
    g->baseline[d.im_id] = Fingerprint({d.open_for.begin(), d.open_for.end()});
    if (const json* changed = chats ? Member(*chats, d.im_id.c_str()) : nullptr) {
      std::vector<std::string> open = uids(*changed);
      d.open_for = {open.begin(), open.end()};
    }
  }
  team->generated = std::move(g);
  team->generated_changes = json();
  team->unread.clear();
}

json GeneratedChanges(const TeamData& team) {
  const GeneratedTeam& g = *team.generated;
  json channels = json::object(), chats = json::object();
  auto changed = [&](const std::string& id, const std::vector<std::string>& now) {
    auto it = g.baseline.find(id);
    return it != g.baseline.end() && it->second != Fingerprint(now);
  };
  for (const Channel& c : team.channels)
    if (changed(c.channel_id(), c.member_uids())) channels[c.channel_id()] = c.member_uids();
  for (const DirectChat& d : team.chats) {
    std::vector<std::string> open(d.open_for.begin(), d.open_for.end());
    if (changed(d.im_id, open)) chats[d.im_id] = open;
  }
  return json{{"seed", g.seed}, {"anchor", g.anchor}, {"channels", channels}, {"chats", chats}};
}

}  // namespace veltrina::engine
