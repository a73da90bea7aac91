#pragma once
// The service's fixed identifiers, in declaration order. The storage host and the service domain
// are those the embedded demo service answers for.
#include <string>

#include "veltrina/hosts.h"

namespace veltrinawnd {

// Built-in assistant bot, support and defaults (no part of the client reads these).
const std::string kBotUid = "quibo";
const std::string kBotUsername = "quibo";
const std::string kBotDisplayName = "小柚";
const std::string kSupportAddress = "support@" + std::string(veltrina::kServiceDomain);
const std::string kDefaultAvatar = "default_avatar.png";
const std::string kServiceDomain = veltrina::kServiceDomain;
const std::string kFileBoxHost = veltrina::kFileBoxUrl;
const std::string kFileBoxUploadUrl = std::string(veltrina::kFileBoxUrl) + "/upload";
const std::string kFirstClientKey = "3b9e0c4d7a2f41e8b6c5d0a9e8f7c6b5";
const std::string kFirstClientSecret = "9d4a7e1c0b6f42d3a8e5c2b1f0d9e8a7";

// Read by the client.
const std::string kClientKey = "3b9e0c4d7a2f41e8b6c5d0a9e8f7c6b5";
const std::string kClientSecret = "9d4a7e1c0b6f42d3a8e5c2b1f0d9e8a7";
const std::string kWebApiPlatform = "2";
const std::string kWebApiVersion = "1";
const std::string kDistributionChannel = "Windows store";
const std::string kAvatarBaseUrl = "https://" + std::string(veltrina::kStorageHost) + "/vtavatar/";
const std::string kStaticBaseUrl = "https://" + std::string(veltrina::kStorageHost) + "/vtstatic/";

// Fixed values of the sign-in.
inline constexpr char kDeviceId[] = "test_device_id";
inline constexpr char kDirectorDeviceId[] = "windows_device_id";
inline constexpr char kDirectorClientVersion[] = "1.2";
inline constexpr char kDirectorSource[] = "WebSite";
inline constexpr unsigned kConnectTimeout = 30;
inline constexpr long long kLoginSignedIn = 200;
inline constexpr long long kLoginInitialPassword = 201;
inline constexpr long long kLoginWrongCredentials = 8000;
inline constexpr long long kUnreachable = -1;
// The team window's code for a field that names a server but not in a form it reads.
inline constexpr long long kBadTeamAddress = 400;
// The smallest service version code that counts as a newer client.
inline constexpr long long kNewerClientVersion = 4;

}  // namespace veltrinawnd
