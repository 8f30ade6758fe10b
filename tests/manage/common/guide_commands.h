// The command lines a guide sends through the upgrade service, built the way
// the tests expect to see them.
#pragma once

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

inline Lines operator+(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The fixed UBI device of each partition that carries a UBI volume.
inline int ubi_dev_of(int part)
{
    switch (part) {
    case 13:
        return 0;
    case 11:
        return 1;
    case 12:
        return 2;
    case 7:
        return 3;
    case 8:
        return 4;
    default:
        return -1;
    }
}

inline Lines take_down(int part, const std::string &path)
{
    return {"umount " + path, "ubidetach -d " + std::to_string(ubi_dev_of(part)) + " /dev/ubi_ctrl"};
}

inline Lines bring_up(int part, const std::string &path)
{
    const std::string dev = std::to_string(ubi_dev_of(part));
    return {"ubiattach /dev/ubi_ctrl -m " + std::to_string(part) + " -d " + dev,
            "mount -t ubifs ubi" + dev + "_0 " + path};
}

inline std::string format_from(int part, const std::string &image)
{
    return "ubiformat /dev/mtd" + std::to_string(part) + " -f " + image + " -y";
}
