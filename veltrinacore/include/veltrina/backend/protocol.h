#pragma once
// Requests the core sends to its backend service and the events it understands. Records travel
// as the JSON objects of backend/codec.h (ToJson). A failed reply has ok false, a code and an
// error text; its body is ignored.
//
// method                params                                   reply body (on success)
// "team.lookup"         {subdomain}                              {team_id, team_name, team_subdomain}
// "client.version"      {}                                       {version_code, version_name, description,
//                                                                 force, release_time, download_url}
// "auth.login"          {username, password, team_id,            code 200 or 201; {token, user}
//                        team_subdomain, client_id, device_id}
// "auth.init_password"  {password}                               {}
// "web.permission"      {}                                       {permission}
// "web.feedback"        {client_version, description, title,     {}
//                        web_api_version}
// "session.connect"     {timeout}                                {}
// "users.list"          {}                                       {users: [user...]}
// "users.status"        {}                                       {statuses: [{uid, status}...]}
// "services.list"       {}                                       {services: [service...]}
// "channels.list"       {include_archived}                       {channels: [channel...]}
// "channels.create"     {name, topic, type, member_uids}         {channel}
// "channels.join"       {channel_id}                             {channel}
// "channels.leave"      {channel_id}                             {}
// "channels.invite"     {channel_id, uid}                        {channel}
// "ims.list"            {}                                       {ims: [im...]}
// "ims.open"            {im_id}                                  {im}
// "ims.new"             {uid}                                    {im}
// "ims.close"           {im_id}                                  {}
// "messages.sync"       {count}                                  {messages: [message...]}
// "messages.history"    {channel_id, count (1..200), before?: key}  {messages: [message...]}  (the page before `before`, oldest first)
// "messages.unread"     {}                                       {unread: [{channel_id, num_unread, num_new}...]}
// "messages.mark_read"  {channel_id, channel_type, time}         {}
// "messages.cursor"     {channel_id, time}                       {}  (cache cursor kept; no event)
// "messages.send"       {message}                                {message}
// "entities.list"       {channel_id, channel_type, entity_type,  {entities: [entity...], total}
//                        keyword, page, page_size}
// "entities.get"        {entity_id}                              {entity}
// "entities.comment"    {entity_id, content}                     {comment}
// "files.upload"        {file_name, comment, channel_id,         {message}
//                        is_channel}; data: the file's bytes
// "http.get"            {url, method}                            code: HTTP status; data: the body;
//                                                                body: {content_type} (optional)
//
// events (EventSink::OnServiceEvent):
// "message"     {message}                       a new message of someone else; cached, then handlers
// "unread"      {channel_id, num_unread, num_new}
// "presence"    {uid, status}
// "connection"  {state}                         0 connected, 1 reconnecting, 2 failed
// "channel"     {channel}                       created, joined, changed (is_member false: left)
// "im"          {im}                            opened or changed (is_open false: closed)
// "user"        {user}                          joined or changed
namespace veltrina::backend {}
