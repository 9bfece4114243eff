#include "conversion/ConversionJob.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/threads/ParallelFor.h"
#include "files/TempFiles.h"

namespace {

// The name a path finally leads to through symbolic links (a dangling link: the
// name it points at), as a replacing output follows them.
std::string FollowLinks(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), buf.data(), buf.size());
        if (n <= 0 || std::size_t(n) >= buf.size())
            return target;
        std::string link(buf.data(), std::size_t(n));
        if (link.front() != '/') {
            const std::size_t slash = target.rfind('/');
            link = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
        target = std::move(link);
    }
    return target;
}

std::string TakeMessage(plat::Exception* e)
{
    char buf[1024] = {};
    e->GetErrorMessage(buf, sizeof buf);
    e->Delete();
    return buf;
}

// The text of the exception being handled, which is taken care of.
std::string CaughtText()
{
    try {
        throw;
    } catch (plat::Exception* e) {
        return TakeMessage(e);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace

bool ConversionFileKey::operator==(const ConversionFileKey& other) const
{
    if (exists != other.exists)
        return false;
    return exists ? id == other.id : path == other.path;
}

ConversionFileKey ConversionKeyOf(const std::string& path)
{
    ConversionFileKey key;
    const std::string target = FollowLinks(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        key.exists = true;
        key.id = plat::FileId{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    }
    key.path = plat::MappedFile::FullPath(target);
    if (key.path.empty()) {
        // Its folder does not exist either: the name as it would be resolved.
        std::error_code error;
        key.path = std::filesystem::absolute(target, error).lexically_normal().string();
        if (error)
            key.path = target;
    }
    return key;
}

ConversionJob::~ConversionJob()
{
    if (!m_committed)
        Discard();
}

int ConversionJob::AddInput(const std::string& path, bool open)
{
    m_inputs.push_back(In{path, open, nullptr});
    return int(m_inputs.size()) - 1;
}

int ConversionJob::AddOutput(const std::string& path, OutputKind kind)
{
    m_outputs.push_back(Out{path, kind, nullptr});
    return int(m_outputs.size()) - 1;
}

std::string ConversionJob::Refusal() const
{
    std::vector<ConversionFileKey> inputs;
    for (const In& in : m_inputs)
        inputs.push_back(ConversionKeyOf(in.path));
    std::vector<ConversionFileKey> outputs;
    for (std::size_t o = 0; o < m_outputs.size(); ++o) {
        const std::string& name = m_outputs[o].path;
        const ConversionFileKey key = ConversionKeyOf(name);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (!(key == inputs[i]))
                continue;
            std::string text = "The output file is an input of this conversion:\n" + name;
            if (m_inputs[i].path != name)
                text += "\n" + m_inputs[i].path;
            return text;
        }
        for (std::size_t k = 0; k < outputs.size(); ++k)
            if (key == outputs[k])
                return "Two outputs of this conversion name one file:\n" + m_outputs[k].path + "\n" + name;
        outputs.push_back(key);
    }
    return {};
}

std::vector<std::string> ConversionJob::ExistingOutputs() const
{
    std::vector<std::string> names;
    for (const Out& out : m_outputs) {
        struct stat st {};
        if (::stat(out.path.c_str(), &st) == 0)
            names.push_back(out.path);
    }
    return names;
}

bool ConversionJob::Fail(Failure kind, const std::string& path, const std::string& error)
{
    Discard();
    m_failure = kind;
    m_failedPath = path;
    m_error = error;
    return false;
}

bool ConversionJob::Open()
{
    if (m_open || m_committed)
        return Fail(Failure::Output, {}, "the conversion's files are already open");
    m_failure = Failure::None;
    m_error.clear();
    m_failedPath.clear();
    if (std::string refusal = Refusal(); !refusal.empty())
        return Fail(Failure::Refused, {}, refusal);
    for (In& in : m_inputs) {
        if (!in.open)
            continue;
        try {
            in.file = std::make_unique<COrderFile>(in.path.c_str(), plat::File::modeRead);
        } catch (...) {
            return Fail(Failure::Input, in.path, CaughtText());
        }
    }
    // The files opened are the files compared: an input replaced since the check
    // by one of the outputs is caught here, before anything is written.
    for (std::size_t i = 0; i < m_inputs.size(); ++i) {
        if (!m_inputs[i].file)
            continue;
        struct stat st {};
        if (::fstat(m_inputs[i].file->GetHandle(), &st) != 0)
            return Fail(Failure::Input, m_inputs[i].path, std::system_category().message(errno));
        const plat::FileId id{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
        for (const Out& out : m_outputs) {
            const ConversionFileKey key = ConversionKeyOf(out.path);
            if (key.exists && key.id == id)
                return Fail(Failure::Refused, {},
                            "The output file is an input of this conversion:\n" + out.path);
        }
    }
    for (Out& out : m_outputs) {
        try {
            out.file = std::make_unique<plat::ReplacingFile>(out.path);
        } catch (...) {
            return Fail(Failure::Output, out.path, CaughtText());
        }
    }
    m_open = true;
    return true;
}

COrderFile& ConversionJob::Input(int i)
{
    In& in = m_inputs.at(std::size_t(i));
    if (!in.file)
        plat::FileException::ThrowOsError(EBADF, in.path);
    return *in.file;
}

plat::ReplacingFile& ConversionJob::Output(int i)
{
    Out& out = m_outputs.at(std::size_t(i));
    if (!out.file)
        plat::FileException::ThrowOsError(EBADF, out.path);
    return *out.file;
}

std::int64_t ConversionJob::ReadAt(int i, std::int64_t offset, void* buf, std::int64_t bytes)
{
    COrderFile& file = Input(i);
    auto* p = static_cast<unsigned char*>(buf);
    std::int64_t got = 0;
    while (got < bytes) {
        const unsigned chunk = unsigned(std::min<std::int64_t>(bytes - got, std::int64_t(1) << 30));
        const unsigned n = file.ReadAt(offset + got, p + got, chunk);
        got += n;
        if (n < chunk)
            break;
    }
    return got;
}

void ConversionJob::CloseInputs()
{
    for (In& in : m_inputs)
        in.file.reset();
}

bool ConversionJob::Commit()
{
    if (m_committed)
        return true;
    if (!m_open)
        return Fail(Failure::Output, {}, "the conversion's files are not open");
    // Every output is on disk before any of them replaces its target. The
    // outputs are flushed side by side, so their writes to the disk overlap;
    // the first failing one, in output order, is reported.
    std::vector<std::string> failures(m_outputs.size());
    std::vector<char> failed(m_outputs.size(), 0);
    const int64_t count = int64_t(m_outputs.size());
    plat::ParallelFor(count, 1, int(std::min<int64_t>(count, plat::ParallelThreads())),
                      [&](int64_t first, int64_t end, int) {
                          for (int64_t i = first; i < end; ++i) {
                              try {
                                  m_outputs[size_t(i)].file->Flush();
                              } catch (...) {
                                  failures[size_t(i)] = CaughtText();
                                  failed[size_t(i)] = 1;
                              }
                          }
                      });
    for (size_t i = 0; i < m_outputs.size(); ++i)
        if (failed[i])
            return Fail(Failure::Output, m_outputs[i].path, failures[i]);
    CloseInputs();
    for (Out& out : m_outputs) {
        try {
            out.file->Commit();
        } catch (...) {
            return Fail(Failure::Output, out.path, CaughtText());
        }
        // The display caches described the file just replaced.
        if (out.kind == OutputKind::Layer)
            DeleteTMPFiles(0, out.path);
    }
    m_committed = true;
    m_open = false;
    return true;
}

void ConversionJob::Discard()
{
    for (Out& out : m_outputs)
        if (out.file) {
            out.file->Discard();
            out.file.reset();
        }
    CloseInputs();
    m_open = false;
}
