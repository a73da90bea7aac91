#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/file_rows.h"
#include "frame/frame_wnd.h"
#include "veltrina/entity.h"

namespace veltrinawnd {

inline constexpr UINT kMsgImageReadyFiles = WM_USER + 33;  // send, ImageReadyRecord
inline constexpr UINT kMsgFilesPage = WM_USER + 36;        // post, FilesPage

// One page of a filter, as the core answered it.
struct FilesPage {
  int filter = 0;  // index into the filters
  bool ok = true;
  std::vector<std::unique_ptr<veltrina::Entity>> entities;
};

// Window class "ViewFilesWnd", skin "skin_view_files.xml": the files, images, documents and
// snippets shared in one conversation, twenty a page, under four filter tabs. A row opens the
// file details over this panel.
class ViewFilesWnd : public FrameWnd {
 public:
  static constexpr int kPageSize = 20;
  // The filters in tab order and the entity type each asks for.
  static constexpr std::array<int, 4> kFilterTypes = {0, 5, 8, 7};

  ViewFilesWnd(const std::string& channel_id, int x, int y, int height, int channel_type);
  ~ViewFilesWnd() override = default;

  const std::string& channel_id() const { return channel_id_; }
  int current_type() const { return kFilterTypes[current_]; }
  // The entities received for a filter (by entity type), in order.
  const std::vector<std::unique_ptr<veltrina::Entity>>& cached(int entity_type) const;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"ViewFilesWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_view_files.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  struct Filter {
    std::vector<std::unique_ptr<veltrina::Entity>> entities;
    int next_page = 1;
    bool loaded = false;
    // A page is on its way: its filter shows no load-more button meanwhile, so that one page
    // is never asked for twice.
    bool loading = false;
  };

  void RequestPage(int filter, int page);
  void OnPage(std::unique_ptr<FilesPage> page);
  void SelectFilter(int filter);
  void StyleTabs();
  void AddRow(const veltrina::Entity& entity);
  void AddLoadMore();
  void RemoveLoadMore();
  void OpenDetails(int index);

  std::string channel_id_;
  int x_;
  int y_;
  int height_;
  int channel_type_;
  // The filter state lives with the window, so a second browser never disturbs the first.
  std::array<Filter, 4> filters_;
  size_t current_ = 0;
  DuiLib::CListUI* file_list_ = nullptr;
  std::array<DuiLib::CButtonUI*, 4> tabs_{};
  std::array<DuiLib::CControlUI*, 4> bars_{};
  ImageTargets thumbnails_;
};

}  // namespace veltrinawnd
