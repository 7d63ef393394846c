// Drives the real open-file dialog from a second thread: waits for the dialog
// with a given title, records what it shows, then types an answer and presses
// Open, or presses Cancel.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace testing_support {

struct DialogView {
  bool appeared = false;        // the dialog showed up before the time limit
  std::wstring proposedName;    // text of the file-name field when it appeared
  int selectedFilter = -1;      // 0-based selection of the file-type list
  std::wstring filterText;      // text of the selected file-type entry
};

class DialogDriver {
 public:
  // answer: the file name to type, or empty to cancel. inspect runs on the driver
  // thread while the dialog is open, before the answer is given.
  DialogDriver(std::wstring title, std::wstring answer, std::function<void(HWND dialog)> inspect = {});
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Waits for the driver thread; call after the dialog call has returned.
  const DialogView& Finish();

 private:
  void Run();

  std::wstring title_;
  std::wstring answer_;
  std::function<void(HWND)> inspect_;
  DialogView view_;
  std::thread thread_;
};

}  // namespace testing_support
