#include "device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tool_report.h"

namespace pwmctl {
namespace {

constexpr const char *kName = "pwmctl";

std::string open_error(const std::string &path, int error)
{
    std::string why;
    switch (error) {
    case ENOENT:
        why = "no such device node (is the dimmerdev module loaded and its device bound?)";
        break;
    case EACCES:
    case EPERM:
        why = "permission denied";
        break;
    case ENXIO:
    case ENODEV:
        why = "no device behind this node (the driver is unbound)";
        break;
    default:
        why = std::strerror(error);
    }
    return tool_kit::message_line(kName, "cannot open " + path + ": " + why);
}

struct Command {
    unsigned long number;
    void *arg;
};

} // namespace

System os_system()
{
    return System{[](const char *path, int flags) { return ::open(path, flags | O_CLOEXEC); },
                  [](int fd, unsigned long request, void *arg) { return ::ioctl(fd, request, arg); },
                  [](int fd) { return ::close(fd); }};
}

std::string explain(Action action, int error)
{
    switch (error) {
    case EBUSY:
        if (action == Action::Polarity)
            return "output is enabled: disable it before changing polarity";
        break;
    case EINVAL:
        if (action == Action::Set)
            return "the PWM does not accept this duty cycle and period (the duty cycle must not exceed the period)";
        if (action == Action::Polarity)
            return "the PWM does not support this polarity";
        return "the PWM does not accept this setting";
    case ENODEV:
        return "the device was unbound from its driver: open it again once it is bound";
    case ENOTTY:
        return "not a PWM control device, or a driver of another version";
    case EFAULT:
        return "the driver could not reach the argument (bad address)";
    case EIO:
    case ETIMEDOUT:
        return std::string("the PWM controller failed: ") + std::strerror(error);
    }
    return std::strerror(error);
}

Outcome execute(const Request &request, const System &sys)
{
    if (request.action == Action::Help)
        return Outcome{tool_kit::kExitOk, usage(), ""};

    pwm_ioctl_config config{request.duty, request.period};
    std::int32_t polarity = request.inversed ? 1 : 0;
    pwm_ioctl_status status{};
    Command cmd{};
    switch (request.action) {
    case Action::Get:
        cmd = {PWM_IOCTL_GET_STATE, &status};
        break;
    case Action::Set:
        cmd = {PWM_IOCTL_SET_CONFIG, &config};
        break;
    case Action::Enable:
        cmd = {PWM_IOCTL_ENABLE, nullptr};
        break;
    case Action::Disable:
        cmd = {PWM_IOCTL_DISABLE, nullptr};
        break;
    case Action::Polarity:
        cmd = {PWM_IOCTL_SET_POLARITY, &polarity};
        break;
    case Action::Help:
        break;
    }

    // Reading needs read access only; changing the output asks for write access.
    int fd = sys.open(request.device.c_str(), request.action == Action::Get ? O_RDONLY : O_RDWR);
    if (fd < 0)
        return Outcome{tool_kit::kExitFailure, "", open_error(request.device, errno)};
    int ret = sys.ioctl(fd, cmd.number, cmd.arg);
    int error = errno;
    sys.close(fd);
    if (ret < 0)
        return Outcome{
            tool_kit::kExitFailure, "",
            tool_kit::message_line(kName, action_name(request.action) + ": " + explain(request.action, error))};
    if (request.action == Action::Get)
        return Outcome{tool_kit::kExitOk, format_status(status, request.json), ""};
    return Outcome{};
}

} // namespace pwmctl
