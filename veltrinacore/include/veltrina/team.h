#pragma once
// A team: the unit a user signs in to, named by its subdomain, on the embedded demo service or
// on a veltrina-server.
#include <memory>
#include <string>

namespace veltrina {

class Team {
 public:
  Team() = default;
  Team(std::string team_id, std::string team_subdomain, std::string team_name)
      : team_id_(std::move(team_id)), team_subdomain_(std::move(team_subdomain)), team_name_(std::move(team_name)) {}
  virtual ~Team() = default;
  Team(const Team&) = default;
  Team& operator=(const Team&) = default;

  const std::string& team_id() const { return team_id_; }
  const std::string& team_subdomain() const { return team_subdomain_; }
  const std::string& team_name() const { return team_name_; }
  // The veltrina-server the team lives on (http(s)://host:port[/prefix]); empty: the embedded demo.
  // Set by the client, never by a service's answer.
  const std::string& server() const { return server_; }

  void set_team_id(std::string v) { team_id_ = std::move(v); }
  void set_team_subdomain(std::string v) { team_subdomain_ = std::move(v); }
  void set_team_name(std::string v) { team_name_ = std::move(v); }
  void set_server(std::string v) { server_ = std::move(v); }

  std::unique_ptr<Team> Clone() const { return std::make_unique<Team>(*this); }

 private:
  std::string team_id_;
  std::string team_subdomain_;
  std::string team_name_;
  std::string server_;
};

}  // namespace veltrina
