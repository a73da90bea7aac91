#pragma once
// What a store writes for a commit, whatever the database: the whole state after a load that
// migrated or seeded it (or after a batch that was rolled back), else only the records a request
// touched. A store supplies the single-row writes; their SQL is the same in both databases.
#include <cstdint>
#include <string>

#include "records_json.h"
#include "veltrina/engine/ports.h"
#include "veltrina/engine/state.h"

namespace veltrina::server {

class RecordWriter {
 public:
  virtual ~RecordWriter() = default;

 protected:
  using json = internal::json;

  bool WriteAll(const engine::State& state);
  bool WriteDelta(const engine::State& state, const engine::Delta& delta);

  // Upserts of a team's records by id, for PutRow ($n placeholders in order: SQLite numbers named
  // parameters by their first appearance); an update keeps the row's place.
  static const char* const kPutUser;
  static const char* const kPutChannel;
  static const char* const kPutChat;
  static const char* const kPutEntity;

  // Each false when the write failed, the batch then marked failed.
  virtual bool Exec(const char* sql) = 0;
  virtual bool Failed(const char* what) = 0;
  virtual bool PutTeam(const engine::TeamData& t) = 0;
  virtual bool PutGenerated(const engine::TeamData& t) = 0;
  virtual bool PutAccount(const engine::Account& a) = 0;
  virtual bool PutRow(const char* sql, const std::string& team_id, const std::string& id, const json& record) = 0;
  virtual bool PutMessage(const std::string& team_id, const std::string& conversation, const Message& m) = 0;
  virtual bool PutCursor(const std::string& team_id, const std::string& uid, const std::string& conversation,
                         int64_t time) = 0;
  virtual bool PutSentId(const std::string& team_id, const std::string& client, const std::string& stored) = 0;
  virtual bool PutFeedback(int64_t index, const json& record) = 0;
  virtual bool DeleteFeedback(int64_t index) = 0;
  virtual bool PutChange(const std::string& team_id, const engine::Change& change) = 0;
  // The log is kept as long as the engine keeps it in memory.
  virtual bool DropChangesBefore(const std::string& team_id, int64_t seq) = 0;
  // Runs `sql` with up to three text parameters.
  virtual bool Delete(const char* sql, const std::string& a, const std::string& b = std::string(),
                      const std::string& c = std::string()) = 0;

 private:
  bool WriteTouched(const engine::State& state, const engine::Touched& touched);
};

}  // namespace veltrina::server
