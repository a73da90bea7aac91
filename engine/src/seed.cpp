#include "veltrina/director.h"
#include "veltrina/engine/ports.h"
#include "veltrina/engine/state.h"

// The demo's story: team "demo" (Veltrina 演示团队) with people, a bot and integrations, channels
// full of every kind of message; and a small second team "acme".

namespace veltrina::engine {

using namespace internal;

namespace {

User MakeUser(const std::string& uid, const std::string& name, const std::string& display, int status, int role,
              User::State state = User::kStateNormal, bool bot = false) {
  User u;
  u.set_uid(uid);
  u.set_user_name(name);
  u.set_display_name(display);
  u.set_email(name + "@veltrina.demo");
  u.set_header_url("av" + uid.substr(2) + ".png");
  u.set_status(status);
  u.set_role(role);
  u.set_state(state);
  u.set_is_bot(bot);
  return u;
}

Channel MakeChannel(const std::string& id, const std::string& name, Channel::Type type, const std::string& topic,
                    const std::string& creator, int64_t created, std::vector<std::string> members) {
  Channel c;
  c.set_channel_id(id);
  c.set_channel_name(name);
  c.set_type(type);
  c.set_topic(topic);
  c.set_creator_uid(creator);
  c.set_created_at(created);
  c.set_member_uids(std::move(members));
  return c;
}

Service MakeService(const std::string& id, const std::string& name, const std::string& display,
                    Service::Kind kind, const std::string& bot_uid) {
  Service s;
  s.set_service_id(id);
  s.set_name(name);
  s.set_display_name(display);
  s.set_avatar_url(name + ".png");
  s.set_kind(kind);
  s.set_bot_uid(bot_uid);
  return s;
}

class Writer {
 public:
  Writer(State* state, TeamData* team, int64_t now) : state_(state), team_(team), now_(now) {}

  Message& Post(const std::string& conversation, int64_t ago, const std::string& uid, const std::string& content,
                int type = Message::kText, int sender = Message::kSenderUser) {
    Message m;
    m.set_key(state_->NewId("m-"));
    m.set_uid(uid);
    m.set_sender_type(sender);
    m.set_message_type(type);
    bool direct = conversation.rfind("im-", 0) == 0;
    m.set_channel_type(direct ? Message::kDirectMessage : Message::kChannelMessage);
    m.set_channel_id(conversation);
    m.set_content(content);
    m.set_timestamp(now_ - ago);
    std::vector<Message>& list = team_->messages[conversation];
    list.push_back(m);
    return list.back();
  }

  Entity& Share(const std::string& conversation, int64_t ago, const std::string& uid, int type,
                const std::string& title, const std::string& ext, int64_t size, int tw = 0, int th = 0) {
    Entity e;
    e.set_entity_id(state_->NewId("e-"));
    e.set_entity_type(type);
    e.set_channel_id(conversation);
    e.set_title(title);
    e.set_path("f/" + e.entity_id());
    e.set_file_extension(ext);
    e.set_file_size(size);
    e.set_thumb_width(tw);
    e.set_thumb_height(th);
    e.set_creator_uid(uid);
    e.set_created_at(now_ - ago);
    if (type == Entity::kSnippet && ext == "css") {
      e.set_snippet_type("CSS");
      e.set_content(".header {\n  color: #4bbcb7;\n  height: 44px;\n}\n");
    } else if (type == Entity::kSnippet && ext == "py") {
      e.set_snippet_type("Python");
      e.set_content("def greet(name):\n    print(f\"hello, {name}\")\n");
    } else if (type == Entity::kSnippet) {
      e.set_snippet_type("C++");
      e.set_content("int main() {\n  std::puts(\"hello, veltrina\");\n}\n");
    } else if (type == Entity::kDocument) {
      e.set_content("会议纪要\n1. 发布计划确认\n2. Windows 客户端演示\n3. 下周继续");
    }
    team_->entities.push_back(e);
    const char* verb = type == Entity::kImage ? "上传了图片: " : "上传了文件: ";
    int message_type = type == Entity::kImage      ? Message::kImage
                       : type == Entity::kDocument ? Message::kDocument
                       : type == Entity::kSnippet  ? Message::kSnippet
                                                   : Message::kFile;
    Message& m = Post(conversation, ago, uid, verb + title, message_type);
    m.set_entity_json(e.ToJson());
    return team_->entities.back();
  }

 private:
  State* state_;
  TeamData* team_;
  int64_t now_;
};

void SeedDemoTeam(State* state, int64_t now) {
  TeamData team;
  team.team = Team("t-demo", "demo", "Veltrina 演示团队");
  const int64_t day = 86400, hour = 3600, minute = 60;
  team.users = {
      MakeUser("u-alice", "alice", "Alice 王", User::kOnline, User::kRoleAdmin),
      MakeUser("u-bob", "bob", "Bob 李", User::kBusy, User::kRoleMember),
      MakeUser("u-lilei", "lilei", "李雷", User::kOnline, User::kRoleMember),
      MakeUser("u-hanmeimei", "hanmeimei", "韩梅梅", User::kAway, User::kRoleMember),
      MakeUser("u-chenjie", "chenjie", "陈杰", User::kOffline, User::kRoleMember),
      MakeUser("u-zhaomin", "zhaomin", "赵敏", User::kOnline, User::kRoleGuest),
      MakeUser("u-newbie", "newbie", "New Bie", User::kOffline, User::kRoleMember),
      MakeUser("u-former", "former", "Former Member", User::kOffline, User::kRoleMember, User::kStateInactive),
      MakeUser("u-quibo", "quibo", "小柚", User::kOnline, User::kRoleMember, User::kStateNormal, true),
  };
  team.services = {
      MakeService("s-quibo", "quibo", "小柚", Service::kBot, "u-quibo"),
      MakeService("s-deploy", "deploybot", "Deploybot", Service::kIntegration, ""),
      MakeService("s-rss", "rss", "RSS 订阅", Service::kIntegration, ""),
  };
  std::vector<std::string> everyone = {"u-alice",  "u-bob",   "u-lilei",  "u-hanmeimei", "u-chenjie",
                                       "u-zhaomin", "u-newbie", "u-quibo"};
  Channel general = MakeChannel("c-general", "general", Channel::kPublic, "全员频道", "u-alice", now - 90 * day, everyone);
  general.set_is_general(true);
  team.channels = {
      general,
      MakeChannel("c-random", "random", Channel::kPublic, "闲聊", "u-bob", now - 80 * day,
                  {"u-alice", "u-bob", "u-lilei", "u-hanmeimei"}),
      MakeChannel("c-design", "design", Channel::kPublic, "设计稿和图片", "u-hanmeimei", now - 60 * day,
                  {"u-alice", "u-hanmeimei", "u-lilei", "u-chenjie"}),
      MakeChannel("c-dev", "dev", Channel::kPublic, "开发与发布", "u-lilei", now - 50 * day,
                  {"u-alice", "u-bob", "u-lilei", "u-chenjie"}),
      MakeChannel("c-announce", "announcements", Channel::kPublic, "公告", "u-chenjie", now - 40 * day,
                  {"u-bob", "u-chenjie", "u-zhaomin"}),
      MakeChannel("c-books", "book-club", Channel::kPublic, "读书会", "u-zhaomin", now - 30 * day,
                  {"u-zhaomin", "u-hanmeimei"}),
      MakeChannel("c-old", "old-project", Channel::kPublic, "已归档", "u-bob", now - 300 * day, {"u-alice", "u-bob"}),
      MakeChannel("g-leads", "leads", Channel::kPrivate, "负责人", "u-alice", now - 70 * day,
                  {"u-alice", "u-bob", "u-lilei"}),
      MakeChannel("g-party", "年会筹备", Channel::kPrivate, "", "u-hanmeimei", now - 20 * day,
                  {"u-alice", "u-hanmeimei", "u-zhaomin"}),
      MakeChannel("g-ops", "ops", Channel::kPrivate, "值班", "u-bob", now - 10 * day, {"u-bob", "u-chenjie"}),
  };
  team.channels[6].set_is_archived(true);
  auto chat = [&](const std::string& id, const std::string& a, const std::string& b, bool open_a, bool open_b) {
    DirectChat c;
    c.im_id = id;
    c.uid_a = a;
    c.uid_b = b;
    c.created_at = now - 30 * day;
    if (open_a) c.open_for.insert(a);
    if (open_b) c.open_for.insert(b);
    team.chats.push_back(c);
  };
  chat("im-alice-bob", "u-alice", "u-bob", true, true);
  chat("im-alice-quibo", "u-alice", "u-quibo", true, true);
  chat("im-alice-lilei", "u-alice", "u-lilei", true, true);
  chat("im-alice-ghost", "u-alice", "u-ghost", true, false);  // a peer the user list does not know
  chat("im-alice-hanmeimei", "u-alice", "u-hanmeimei", false, true);
  chat("im-bob-quibo", "u-bob", "u-quibo", true, true);
  chat("im-newbie-quibo", "u-newbie", "u-quibo", true, true);
  state->teams.push_back(std::move(team));
  TeamData& t = state->teams.back();

  Writer w(state, &t, now);
  // #general: every kind of message.
  w.Post("c-general", 3 * day, "u-bob", "<@u-bob|Bob 李> 加入了 <#c-general|general>", Message::kSystem);
  w.Post("c-general", 2 * day + 5 * hour, "u-alice",
         "欢迎大家来到 Veltrina！请先读 [https://demo.veltrina.demo/handbook|团队手册]，闲聊去 <#c-random>，"
         "有问题找 <@u-quibo> :smile: :+1:");
  w.Post("c-general", 2 * day + 4 * hour, "u-lilei", "发布说明在这里 https://veltrina.demo/releases/1.2 ，大家看看。");
  w.Post("c-general", 2 * day + 3 * hour, "u-hanmeimei", "试试 </remind> 命令，比如 /remind 明天开会 :alarm_clock:");
  w.Share("c-general", 2 * day, "u-hanmeimei", Entity::kImage, "sunset.png", "png", 245760, 400, 300);
  w.Share("c-general", day + 20 * hour, "u-lilei", Entity::kFile, "report.final.pdf", "pdf", 1536);
  w.Share("c-general", day + 18 * hour, "u-chenjie", Entity::kDocument, "会议纪要", "md", 5242880);
  w.Share("c-general", day + 16 * hour, "u-bob", Entity::kSnippet, "hello.cpp", "cpp", 1048576);
  {
    Entity& file = t.entities[1];
    Comment c;
    c.set_comment_id(state->NewId("cm-"));
    c.set_entity_id(file.entity_id());
    c.set_creator_uid("u-alice");
    c.set_content("第三页的数据需要更新一下");
    c.set_created_at(now - day - 15 * hour);
    file.add_comment(c);
    Comment c2 = c;
    c2.set_comment_id(state->NewId("cm-"));
    c2.set_creator_uid("u-lilei");
    c2.set_content("好的，今天改 :ok_hand:");
    c2.set_created_at(now - day - 14 * hour);
    file.add_comment(c2);
    Message& m = w.Post("c-general", day + 15 * hour, "u-alice", c.content(), Message::kComment);
    m.set_entity_json(file.ToJson());
  }
  {
    Entity mail;
    mail.set_entity_id(state->NewId("e-"));
    mail.set_entity_type(Entity::kMail);
    mail.set_channel_id("c-general");
    mail.set_title("季度报告");
    mail.set_subject("Q4 季度报告（草稿）");
    mail.set_from("finance@veltrina.demo");
    mail.set_creator_uid("u-chenjie");
    mail.set_created_at(now - day - 10 * hour);
    t.entities.push_back(mail);
    Message& m = w.Post("c-general", day + 10 * hour, "u-chenjie", "转发了一封邮件", Message::kMail);
    m.set_entity_json(mail.ToJson());
  }
  {
    Message& m = w.Post("c-general", day + 8 * hour, "s-deploy", "部署完成", Message::kAttachment, Message::kSenderService);
    Attachment a;
    a.set_pretext("Deploybot 部署了 <#c-dev|dev> 的最新版本");
    a.set_color("#FF0000");
    a.set_title("veltrina-web v1.2.0");
    a.set_title_link("https://veltrina.demo/deploys/120");
    a.set_author_name("李雷");
    a.set_author_link("https://veltrina.demo/u/lilei");
    a.set_text("共 42 个提交，详情见 [https://veltrina.demo/changelog|变更记录]");
    a.set_fields({{"环境", "production", true}, {"耗时", "3 分 12 秒", true}, {"状态", "成功", true},
                  {"说明", "数据库迁移已完成，无需停机。", false}});
    m.set_attachment(a);
  }
  {
    Entity link;
    link.set_entity_id(state->NewId("e-"));
    link.set_entity_type(Entity::kLink);
    link.set_channel_id("c-general");
    link.set_title("Veltrina 博客：团队协作的十个习惯");
    link.set_public_url("https://blog.veltrina.demo/ten-habits");
    link.set_summary("好的团队协作从清晰的频道开始，<@u-alice> 推荐阅读。");
    link.set_creator_uid("u-alice");
    link.set_created_at(now - day);
    t.entities.push_back(link);
    Message& m = w.Post("c-general", day + 6 * hour, "s-rss", "团队协作的十个习惯", Message::kText,
                        Message::kSenderServiceEntity);
    m.set_entity_json(link.ToJson());
  }
  w.Post("c-general", day + 5 * hour, "s-deploy", "夜间构建通过 :white_check_mark:", Message::kServiceText,
         Message::kSenderService);
  w.Post("c-general", day + 4 * hour, "u-bob", "这是一种新消息", 99);
  w.Post("c-general", 3 * hour, "u-zhaomin", "下午三点全员会议，别忘了 :coffee:");
  w.Post("c-general", 2 * hour, "u-lilei", "<@u-alice> 麻烦看一下 <#c-design> 里的新稿子");
  // #design: every kind of file, each more than a page of twenty, so that every filter of the
  // file browser pages; plain files with several extensions (one the skin has no icon for).
  {
    const char* plain[][2] = {{"design-v", "pdf"}, {"assets-", "zip"},  {"budget-", "xlsx"}, {"spec-", "docx"},
                              {"notes-", "txt"},   {"walkthrough-", "mp4"}, {"banner-", "psd"}, {"export-", "xyz"}};
    const char* snippets[] = {"css", "py", "cpp"};
    for (int i = 1; i <= 84; ++i) {
      int64_t ago = 5 * day - i * hour;
      std::string n = std::to_string(i);
      if (i % 4 == 0) {
        int shape = (i / 4) % 3;  // wide, tall, square
        w.Share("c-design", ago, i % 8 ? "u-hanmeimei" : "u-chenjie", Entity::kImage, "mockup-" + n + ".png", "png",
                100000 + 5000 * i, shape == 2 ? 400 : shape ? 300 : 600, shape == 2 ? 400 : shape ? 600 : 300);
      } else if (i % 4 == 1) {
        const char* const* f = plain[(i / 4) % 8];
        w.Share("c-design", ago, "u-hanmeimei", Entity::kFile, f[0] + n + "." + f[1], f[1], 20480 * i);
      } else if (i % 4 == 2) {
        w.Share("c-design", ago, "u-chenjie", Entity::kDocument, "评审记录 " + n, "md", 4096 * i);
      } else {
        const char* ext = snippets[(i / 4) % 3];
        w.Share("c-design", ago, "u-lilei", Entity::kSnippet, "style" + n + "." + ext, ext, 300 * i);
      }
    }
    // The newest image and document carry comments.
    for (int type : {Entity::kImage, Entity::kDocument}) {
      Entity* newest = nullptr;
      for (Entity& e : t.entities)
        if (e.channel_id() == "c-design" && e.entity_type() == type) newest = &e;
      Comment c;
      c.set_comment_id(state->NewId("cm-"));
      c.set_entity_id(newest->entity_id());
      c.set_creator_uid("u-lilei");
      c.set_content(type == Entity::kImage ? "配色不错，按钮可以再大一点" : "第二条需要补充细节");
      c.set_created_at(newest->created_at() + hour);
      newest->add_comment(c);
      c.set_comment_id(state->NewId("cm-"));
      c.set_creator_uid("u-hanmeimei");
      c.set_content("收到，我来改 :ok_hand:");
      c.set_created_at(newest->created_at() + 2 * hour);
      newest->add_comment(c);
    }
  }
  w.Post("c-design", 50 * minute, "u-hanmeimei", "首页的新配色怎么样？ :art:");
  // #random, #dev, groups and direct messages.
  w.Post("c-random", day, "u-bob", "周末有人去爬山吗？ :mountain:");
  w.Post("c-random", 20 * hour, "u-hanmeimei", "算我一个 :raising_hand:");
  w.Post("c-random", 30 * minute, "u-lilei", "天气预报说周六下雨 :umbrella:");
  w.Post("c-dev", day, "u-lilei", "CI 已经切到新机器，构建时间从 12 分钟降到 5 分钟。");
  w.Post("c-dev", 10 * hour, "u-chenjie", "Windows 客户端的 32 位构建也要跑一下 </build>");
  w.Post("c-announce", 2 * day, "u-chenjie", "下周一系统维护，预计 30 分钟。");
  w.Post("c-books", 3 * day, "u-zhaomin", "本月读《人月神话》。");
  w.Post("c-old", 200 * day, "u-bob", "这个项目已经归档。");
  w.Post("g-leads", 6 * hour, "u-bob", "下个季度的招聘计划我整理好了。");
  w.Post("g-leads", 40 * minute, "u-lilei", "明天早上对一下 :thumbsup:");
  w.Post("g-party", 5 * hour, "u-hanmeimei", "年会场地定了吗？");
  w.Post("g-ops", hour, "u-bob", "今晚我值班。");
  w.Post("im-alice-bob", 4 * hour, "u-bob", "Alice，方便的时候回个电话 :phone:");
  w.Post("im-alice-bob", 3 * hour, "u-alice", "好的，十分钟后。");
  w.Post("im-alice-bob", 20 * minute, "u-bob", "收到 :+1:");
  w.Post("im-alice-quibo", day, "u-quibo", "你好，我是小柚 :wave: 发给我任何消息，我都会回答。试试 /help");
  w.Post("im-alice-lilei", 2 * day, "u-lilei", "周报发你邮箱了。");
  w.Post("im-alice-ghost", 10 * day, "u-ghost", "（来自已离开团队的成员）");
  w.Post("im-alice-hanmeimei", 9 * day, "u-hanmeimei", "之前的对话");
  w.Post("im-bob-quibo", day, "u-quibo", "你好，我是小柚 :wave:");
  w.Post("im-newbie-quibo", day, "u-quibo", "欢迎加入！先改一个自己的密码吧。");
  // Read cursors: some conversations start unread for Alice and Bob.
  t.cursors["u-alice"] = {{"c-general", now - 4 * hour}, {"c-random", now - 25 * hour}, {"c-design", now - day},
                          {"c-dev", now}, {"g-leads", now - 7 * hour}, {"g-party", now},
                          {"im-alice-bob", now - 30 * minute}, {"im-alice-quibo", now}, {"im-alice-lilei", now},
                          {"im-alice-ghost", now}, {"c-old", now}};
  t.cursors["u-bob"] = {{"c-general", now - day}, {"c-random", now}, {"im-alice-bob", now - 3 * hour}};
}

void SeedAcmeTeam(State* state, int64_t now) {
  TeamData team;
  team.team = Team("t-acme", "acme", "Acme 工作室");
  team.users = {MakeUser("u-carol", "carol", "Carol 周", User::kOnline, User::kRoleAdmin),
                MakeUser("u-dave", "dave", "Dave 吴", User::kAway, User::kRoleMember),
                MakeUser("u-acmebot", "quibo", "小柚", User::kOnline, User::kRoleMember, User::kStateNormal, true)};
  team.services = {MakeService("s-acmebot", "quibo", "小柚", Service::kBot, "u-acmebot")};
  Channel general = MakeChannel("c-acme-general", "general", Channel::kPublic, "", "u-carol", now - 100 * 86400,
                                {"u-carol", "u-dave", "u-acmebot"});
  general.set_is_general(true);
  team.channels = {general};
  DirectChat chat;
  chat.im_id = "im-carol-acmebot";
  chat.uid_a = "u-carol";
  chat.uid_b = "u-acmebot";
  chat.open_for = {"u-carol", "u-acmebot"};
  team.chats = {chat};
  state->teams.push_back(std::move(team));
  TeamData& t = state->teams.back();
  Writer w(state, &t, now);
  w.Post("c-acme-general", 3600, "u-dave", "Acme 的第一个频道 :tada:");
  w.Post("im-carol-acmebot", 7200, "u-acmebot", "你好 Carol，我是小柚。");
}

// The demo passwords ("veltrina"; "init1234" for newbie) as HashPassword stores them, each with a
// salt of its own, made beforehand: seeding a fresh folder does no slow hashing.
constexpr const char* kAliceHash =
    "pbkdf2-sha256$50000$32bf3423fc26f1b7eca9c13f163a7d4d$"
    "74527425d1219311ede32fc688939c0009c9c815b1935f0c517136c9e589d37b";
constexpr const char* kBobHash =
    "pbkdf2-sha256$50000$de23304b64d743085249c3ce49b1c3c6$"
    "4995a4e5adddd88791dff9c6734b57be61cbe9af59e1ecdffdb41be2732c3ec8";
constexpr const char* kLileiHash =
    "pbkdf2-sha256$50000$acf5244c7828ed7d2167bf9d20738f67$"
    "8f3245b077f125d7aa2b01a5d2b86462a0cb162f1b1a972497846b8bd3d76dbf";
constexpr const char* kNewbieHash =
    "pbkdf2-sha256$50000$b9e8e34f66f7e2b2293fca86b5384d51$"
    "0fb16ed198ab12e838a64b636d8c4680edde7389530f494fc5e5bdcc337bd015";
constexpr const char* kCarolHash =
    "pbkdf2-sha256$50000$117e1aa0a04707725e94f4352b49c0a4$"
    "c28af8403ffbe5473bd527a293054d0607cac2e65ee6007afacb924061baf3f6";
}  // namespace

State SeedState(int64_t now, PasswordHasher& passwords) {
  State state;
  const int64_t all = Director::kPermissionCreateChannel | Director::kPermissionCreateGroup |
                      Director::kPermissionConfigureServices;
  const int64_t create = Director::kPermissionCreateChannel | Director::kPermissionCreateGroup;
  state.accounts = {
      {.team_id = "t-demo", .user_name = "alice", .password_hash = passwords.Seeded("veltrina", kAliceHash), .uid = "u-alice", .permission = all},
      {.team_id = "t-demo", .user_name = "bob", .password_hash = passwords.Seeded("veltrina", kBobHash), .uid = "u-bob"},
      {.team_id = "t-demo", .user_name = "lilei", .password_hash = passwords.Seeded("veltrina", kLileiHash), .uid = "u-lilei", .permission = create},
      {.team_id = "t-demo", .user_name = "newbie", .password_hash = passwords.Seeded("init1234", kNewbieHash), .uid = "u-newbie",
       .initial_password = true, .permission = create},
      {.team_id = "t-acme", .user_name = "carol", .password_hash = passwords.Seeded("veltrina", kCarolHash), .uid = "u-carol", .permission = all},
  };
  SeedDemoTeam(&state, now);
  SeedAcmeTeam(&state, now);
  return state;
}

}  // namespace veltrina::engine
