#include "platform/process_setup.hpp"

#include <csignal>

#include <curl/curl.h>
#include <fcntl.h>

namespace vald {

namespace {

#if defined(__GLIBCXX__)
// The descriptor behind a libstdc++ file buffer, reached through its protected member.
struct FileBufferAccess : std::filebuf {
    static int descriptorOf(std::filebuf& buffer) { return (buffer.*(&FileBufferAccess::_M_file)).fd(); }
};
#endif

}  // namespace

bool gf_prepareProcess()
{
    std::signal(SIGPIPE, SIG_IGN);
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

bool gf_keepFromChildren(std::filebuf& stream)
{
#if defined(__GLIBCXX__)
    if (!stream.is_open())
        return false;
    const int descriptor = FileBufferAccess::descriptorOf(stream);
    if (descriptor < 0)
        return false;
    const int flags = fcntl(descriptor, F_GETFD);
    return flags >= 0 && fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC) == 0;
#else
    (void)stream;
    return false;
#endif
}

}  // namespace vald
