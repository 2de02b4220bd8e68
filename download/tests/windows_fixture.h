// The download windows as Korvane makes them at start: under a main form, in the
// start-up order; freed again with it.
#pragma once

#include "download/download_forms.h"
#include "framework/controls/forms.h"

namespace kvtest {

class DownloadWindows {
 public:
  void Make() {
    main_ = new TForm(Application);
    main_->SetCaption("Main");
    Application->SetMainForm(main_);
    CreateDownloadWindows(Application);
  }
  void Free() {
    delete DownloaderForm;
    delete DownloadRequest;
    delete DownloadForm;
    delete main_;
    main_ = nullptr;
    Application->SetMainForm(nullptr);
  }
  TForm* Main() const { return main_; }

 private:
  TForm* main_ = nullptr;
};

}  // namespace kvtest
