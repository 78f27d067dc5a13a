// A save gives the file new bytes and nothing else: its ACL, extended attributes, mode, owner
// and other names stay. Where a new file renamed over the old one could not keep them, the file is
// written over in place, and that write is safe from a full disk and from the ending signals.

#include "model/Propdmp.h"
#include "tests/model/ChildUser.h"
#include "tests/model/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TCarried {
    mode_t Mode = 0;
    uid_t Owner = 0;
    gid_t Group = 0;
    nlink_t Links = 0;
    std::string Acl;
    std::map<std::string, std::string> Attributes;
    bool operator==(const TCarried&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TCarried& c) {
    out << std::oct << c.Mode << std::dec << " " << c.Owner << ":" << c.Group << " links "
        << c.Links << " acl [" << c.Acl << "]";
    for (const auto& [name, value] : c.Attributes)
        out << " " << name << "=" << testing::PrintToString(value);
    return out;
}

TCarried Carried(const std::string& path) {
    TCarried c;
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    c.Mode = st.st_mode & 07777;
    c.Owner = st.st_uid;
    c.Group = st.st_gid;
    c.Links = st.st_nlink;
    if (acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS)) {
        char* text = acl_to_text(acl, nullptr);
        c.Acl = text;
        acl_free(text);
        acl_free(acl);
    }
    char names[4096];
    const ssize_t n = ::listxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t size = ::getxattr(path.c_str(), names + at, value, sizeof value);
        c.Attributes[names + at] =
            std::string(value, size > 0 ? static_cast<std::size_t>(size) : 0);
    }
    return c;
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

void Shell(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TPropdumpFile NewDocument(const std::string& fileName, int objects = 20) {
    TPropdumpFile doc;
    doc.LoadFromMemory("propdump version 2\r\n", fileName, 0);
    for (int i = 0; i < objects; ++i) {
        TPropObject& o = doc.Objects.emplace_back();
        o.Owner = i;
        o.Model = "new" + std::to_string(i);
    }
    return doc;
}

std::string SavedBytes(const TPropdumpFile& doc) {
    TScratchDir dir;
    TPropdumpFile copy = doc;
    copy.FileName = dir / "f";
    copy.Save();
    return ReadBytes(copy.FileName);
}

} // namespace

TEST(SaveKeeps, WhatTheFileCarries) {
    const bool root = ::geteuid() == 0;
    const struct {
        const char* Name;
        std::function<void(const TScratchDir&)> SetUp; // the file is "f"
        bool AsNobody;
        bool InPlace;
        bool RootOnly = false; // only root can give a file to someone else
    } cases[] = {
        {"access ACL and the mode it masks",
         [](const TScratchDir& d) {
             Shell("chmod 640 " + d / "f" + " && setfacl -m u:1:rw,g:2:r " + d / "f");
         },
         false, false},
        {"extended attributes",
         [](const TScratchDir& d) {
             Shell("setfattr -n user.origin -v world1 " + d / "f" +
                   " && setfattr -n user.bytes -v "
                   "0x00ff00 " +
                   d / "f" + " && setfattr -n user.empty " + d / "f");
         },
         false, false},
        {"a folder's default ACL does not reach the file",
         [](const TScratchDir& d) {
             Shell("chmod 600 " + d / "f" + " && setfacl -d -m u:1:rwx " + d.Path.string());
         },
         false, false},
        {"other names of the file",
         [](const TScratchDir& d) { fs::create_hard_link(d / "f", d / "g"); }, false, true},
        {"a folder the user may not write",
         [](const TScratchDir& d) {
             ASSERT_EQ(::chown((d / "f").c_str(), ChildUser(), ChildGroup()), 0);
             Shell("chmod 555 " + d.Path.string());
         },
         true, true},
        {"another user's file the user may write",
         [](const TScratchDir& d) {
             Shell("setfacl -m u:nobody:rw " + d / "f" + " && setfacl -m u:nobody:rwx " +
                   d.Path.string());
         },
         true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.RootOnly && !root)
            continue;
        TScratchDir dir;
        WriteBytes(dir / "f", "old bytes");
        c.SetUp(dir);
        const TCarried before = Carried(dir / "f");
        const ino_t inode = Inode(dir / "f");
        const std::vector<std::string> entries = dir.Entries();
        const TPropdumpFile doc = NewDocument(dir / "f");
        TPropdumpFile copy = doc;
        if (c.AsNobody)
            EXPECT_EQ(RunAsChildUser([&] {
                          copy.Save();
                          return int{Saved};
                      }),
                      Saved);
        else
            copy.Save();
        EXPECT_EQ(ReadBytes(dir / "f"), SavedBytes(doc));
        EXPECT_EQ(Carried(dir / "f"), before);
        EXPECT_EQ(Inode(dir / "f") == inode, c.InPlace);
        EXPECT_EQ(dir.Entries(), entries);
        for (const std::string& name : entries)
            EXPECT_EQ(ReadBytes(dir / name), SavedBytes(doc)) << name;
    }
}

// A small file system filled up: the save fails before the old bytes are touched, whether the
// new ones go to a file beside it or over it in place.
TEST(SaveKeeps, FullDiskLeavesTheFileAsItWas) {
    TScratchDir dir;
    if (::mount("tmpfs", dir.Path.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (needs root): " << std::strerror(errno);
    struct TUnmount {
        std::string Path;
        ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
    } unmount{dir.Path.string()};
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "written in place" : "renamed over the old file");
        const std::string old = SavedBytes(NewDocument("", 300));
        WriteBytes(dir / "f", old);
        if (linked)
            fs::create_hard_link(dir / "f", dir / "g");
        {
            std::ofstream filler(dir / "filler", std::ios::binary);
            const std::string block(4096, 'x');
            while (filler.write(block.data(), block.size()))
                ;
        }
        const std::vector<std::string> entries = dir.Entries();
        TPropdumpFile doc = NewDocument(dir / "f", 3000);
        try {
            doc.Save();
            ADD_FAILURE() << "saved on a full disk";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), ENOSPC) << e.what();
        }
        EXPECT_EQ(ReadBytes(dir / "f"), old);
        EXPECT_EQ(dir.Entries(), entries);
        for (const std::string& name : entries)
            fs::remove(dir / name);
    }
}

// A file written over in place is never left half old, half new by Ctrl+C, SIGTERM or SIGHUP:
// the signal ends the process once the new bytes are all on disk.
TEST(SaveKeeps, EndingSignalWaitsForAnInPlaceWrite) {
    class TSignallingWriter : public TFileWriter {
    public:
        explicit TSignallingWriter(int signal) : Signal(signal) {}
        void Write(const FileSystem::TFile& File, const char* Data, std::size_t Size) override {
            const std::size_t half = Size / 2;
            Plain.Write(File, Data, half);
            ::raise(Signal);
            Plain.Write(File, Data + half, Size - half);
        }
        int Signal;
        TSystemFileWriter Plain;
    };
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TScratchDir dir;
        WriteBytes(dir / "f", "old bytes");
        fs::create_hard_link(dir / "f", dir / "g");
        TPropdumpFile doc = NewDocument(dir / "f", 5000);
        const pid_t pid = ::fork();
        if (pid == 0) {
            TSignallingWriter writer(signal);
            try {
                doc.Save(writer);
            } catch (...) {
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(ReadBytes(dir / "f"), SavedBytes(doc));
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"f", "g"}));
    }
}
