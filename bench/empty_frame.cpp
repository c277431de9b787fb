// The reference for the program's start-up time and memory: an empty wx frame
// whose title ends like the program's, so the bench scripts find it the same
// way, and nothing else.
#include <wx/app.h>
#include <wx/frame.h>

namespace {

class EmptyFrameApp : public wxApp {
 public:
  bool OnInit() override {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Empty frame - brindlecot.example");
    frame->SetSize(700, 500);
    frame->Show();
    return true;
  }
};

}  // namespace

wxIMPLEMENT_APP(EmptyFrameApp);
