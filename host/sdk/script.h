// The scene script of vorel-host: one command per line, words separated by
// blanks, "double quotes" around words with blanks, '#' to the end of the
// line is a comment. Node, class and parameter names are case-insensitive.
// The commands are listed in host/README.md ("Scene scripts").
#pragma once
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "host/sdk/inode.h"

namespace vorel_sdk {

class SceneScript {
 public:
  // out receives every line the script prints.
  explicit SceneScript(std::function<void(const std::string&)> out);
  // Runs one command; false (with the reason in Error()) when it failed,
  // or when it showed an error message box (MB_ICONERROR).
  bool RunLine(const std::string& line);
  // Runs every line; stops at the first failing command and answers false.
  bool Run(std::istream& in, const std::string& sourceName = "script");
  const std::string& Error() const { return error_; }
  // Adds a command handled elsewhere (vorel-host adds "ui"): the handler gets
  // the text after the command word, prints into out and answers false with
  // the reason in err on failure.
  typedef std::function<bool(const std::string& rest, std::ostream& out, std::string& err)> Handler;
  void AddCommand(const std::string& name, Handler h);

 private:
  bool Fail(const std::string& why);
  bool RunCommand(const std::string& line);
  void Print(const std::string& s) { out_(s); }
  std::function<void(const std::string&)> out_;
  std::string error_;
  std::vector<std::pair<std::string, Handler>> extra_;
};

// Writes the mesh of node at t in world space as a Wavefront OBJ file; the
// counts go to verts and faces. False when the node has no mesh at t or the
// file cannot be written.
bool ExportNodeObj(INode* node, TimeValue t, const std::string& path, int& verts, int& faces);

}  // namespace vorel_sdk
