# Sourced, from the repository's root, by the scripts that run Win32 code:
# tells how this machine runs 32-bit x86 programs, which Wine's 32-bit loader
# is.
#
#   i386_exec_mode   prints "emulated" when qemu-i386 is registered for i386
#                    ELF through binfmt_misc (such an entry is tried before the
#                    kernel's own ELF loader, so it wins even where the kernel
#                    could run the program), "native" when the kernel runs
#                    32-bit x86 code itself, "none" otherwise.
#   i386_exec_line   one line saying the same for a person.

i386_binfmt_entry=/proc/sys/fs/binfmt_misc/qemu-i386

# A 93-byte static i386 ELF program that only calls exit(0). Its header's ABI
# version byte is 1: the kernel's ELF loader ignores that byte, while the
# usual qemu-i386 binfmt_misc entry requires 0, so the probe always meets the
# kernel itself and answers for it alone.
i386_native_probe() {
    local probe rc
    # In the build folder, where the builds run programs anyway (a /tmp
    # mounted noexec would refuse it for the wrong reason).
    mkdir -p build && probe=$(mktemp build/.i386-probe.XXXXXX) || return 1
    printf '%b' \
        '\x7fELF\x01\x01\x01\x00\x01\x00\x00\x00\x00\x00\x00\x00' `# ident: 32-bit, LE, ABI version 1` \
        '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08' `# executable, i386, version, entry` \
        '\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' `# program headers at 52, no sections` \
        '\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' `# header sizes, one program header` \
        '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' `# load file at 0x08048000` \
        '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' `# 93 bytes, read+execute` \
        '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' `# mov eax,1; xor ebx,ebx; int 0x80` \
        >"$probe"
    chmod +x "$probe"
    "$probe" >/dev/null 2>&1
    rc=$?
    rm -f "$probe"
    return $rc
}

i386_emulator_registered() {
    [ -f "$i386_binfmt_entry" ] && head -n 1 "$i386_binfmt_entry" | grep -qx enabled
}

i386_exec_mode() {
    if i386_emulator_registered; then
        echo emulated
    elif i386_native_probe; then
        echo native
    else
        echo none
    fi
}

i386_exec_line() {
    case "$(i386_exec_mode)" in
    native) echo "32-bit x86 code (Wine's loader, and with it the Win32 programs) runs natively here" ;;
    emulated) echo "32-bit x86 code (Wine's loader, and with it the Win32 programs) runs under the emulator qemu-i386 here" ;;
    *) echo "32-bit x86 code cannot run here: the kernel refuses it and no emulator is registered (run scripts/setup.sh as root)" ;;
    esac
}
