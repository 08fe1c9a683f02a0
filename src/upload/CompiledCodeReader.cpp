#include "upload/CompiledCodeReader.h"

#include <cerrno>
#include <sys/stat.h>

namespace vantor::upload {

CompiledCodeReader::~CompiledCodeReader()
{
    close();
}

FileProblem CompiledCodeReader::open(const std::string& path)
{
    close();
    lineNumber_ = 0;
    problem_ = FileProblem::None;
    if (path.empty() || path == "*.VQC")
        return problem_ = FileProblem::NoneChosen;
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return problem_ = FileProblem::IsFolder;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        if (errno == ENOENT || errno == ENOTDIR)
            return problem_ = FileProblem::NotFound;
        if (errno == EACCES || errno == EPERM)
            return problem_ = FileProblem::NotPermitted;
        return problem_ = FileProblem::ReadError;
    }
    return FileProblem::None;
}

void CompiledCodeReader::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

bool CompiledCodeReader::readLine(std::string& line)
{
    line.clear();
    if (!file_)
        return false;
    int c = std::getc(file_);
    if (c == EOF) {
        if (std::ferror(file_))
            problem_ = FileProblem::ReadError;
        return false;
    }
    while (c != EOF && c != '\r') {
        line += static_cast<char>(c);
        c = std::getc(file_);
    }
    if (c == '\r') {
        const int next = std::getc(file_);
        if (next != '\n' && next != EOF)
            std::ungetc(next, file_);
    }
    if (std::ferror(file_)) {
        problem_ = FileProblem::ReadError;
        return false;
    }
    ++lineNumber_;
    return true;
}

std::string CompiledCodeReader::describe(FileProblem problem, const std::string& path)
{
    switch (problem) {
    case FileProblem::None:
        return {};
    case FileProblem::NoneChosen:
        return "No file chosen: select the program file first";
    case FileProblem::NotFound:
        return "Cannot open " + path + ": no such file";
    case FileProblem::NotPermitted:
        return "Cannot open " + path + ": permission denied";
    case FileProblem::IsFolder:
        return "Cannot open " + path + ": it is a folder, not a file";
    case FileProblem::ReadError:
        return "Cannot read " + path;
    }
    return {};
}

} // namespace vantor::upload
