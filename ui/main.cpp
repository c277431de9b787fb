#include <wx/app.h>

#include "ui/tessarel_app.h"

int main(int argc, char** argv) { return wxEntry(argc, argv); }
