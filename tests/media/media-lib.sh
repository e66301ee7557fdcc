# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Real file systems for the media checks, each made and mounted inside one private temporary folder.
# Sourced by bash. media_init creates the folder ($MEDIA_TMP) and a trap that unmounts and removes
# everything, also after a failure or an interrupt. Every mount_* function takes an empty mount point,
# prints nothing on success and one line of reason on standard error when the medium cannot be had.
# Cleanup works from what is mounted and attached under $MEDIA_TMP, so a function run in a subshell
# leaves nothing behind either.

MEDIA_IMAGE_MIB=48
# mkfs and the mount helpers live in sbin, which a CI shell may not have on its path.
PATH=$PATH:/usr/sbin:/sbin

media_init() {
    MEDIA_TMP=$(mktemp -d -t tandrel-media.XXXXXX) || return 1
    trap media_cleanup EXIT
    trap 'exit 130' HUP INT TERM
}

media_cleanup() {
    local m img loop
    [ -n "${MEDIA_TMP:-}" ] && [ -d "$MEDIA_TMP" ] || return 0
    # Deepest mount first: a bind mount may lie inside a folder that is itself on a medium.
    for m in $(media_mounts | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null
    done
    for img in "$MEDIA_TMP"/*.img; do
        for loop in $(losetup -n -O NAME -j "$img" 2>/dev/null); do
            losetup -d "$loop" 2>/dev/null
        done
    done
    [ -f "$MEDIA_TMP/sshd.pid" ] && kill "$(cat "$MEDIA_TMP/sshd.pid")" 2>/dev/null
    # Never remove through a mount that would not go away: that would delete inside the medium's host.
    if [ -z "$(media_mounts)" ]; then
        rm -rf "$MEDIA_TMP"
    else
        echo "media: left mounted, not removed: $MEDIA_TMP" >&2
    fi
}

# The mount points under $MEDIA_TMP, as /proc shows them.
media_mounts() {
    awk -v root="$MEDIA_TMP/" 'index($2, root) == 1 { print $2 }' /proc/self/mounts
}

# media_need CMD...: fails with the name of the first command that is not installed.
media_need() {
    local c
    for c in "$@"; do
        command -v "$c" >/dev/null 2>&1 || { echo "$c not installed" >&2; return 1; }
    done
}

# Root and FUSE: what every medium here needs.
media_need_fuse() {
    [ "$(id -u)" -eq 0 ] || { echo "not root" >&2; return 1; }
    [ -c /dev/fuse ] || { echo "no /dev/fuse" >&2; return 1; }
}

# media_image NAME MKFS...: a fresh image file $MEDIA_TMP/NAME.img made by the command MKFS... IMAGE.
media_image() {
    local img="$MEDIA_TMP/$1.img"
    shift
    rm -f "$img"
    truncate -s "${MEDIA_IMAGE_MIB}M" "$img" || { echo "cannot create $img" >&2; return 1; }
    "$@" "$img" >"$MEDIA_TMP/mkfs.log" 2>&1 ||
        { echo "$1 failed: $(tail -n 1 "$MEDIA_TMP/mkfs.log")" >&2; return 1; }
    echo "$img"
}

# media_try LOG CMD...: runs a mount command, its output kept in LOG for the reason line.
media_try() {
    local log=$1
    shift
    "$@" >"$log" 2>&1
}

mount_exfat() {
    media_need_fuse && media_need mkfs.exfat mount.exfat-fuse || return 1
    local img loop
    img=$(media_image exfat mkfs.exfat) || return 1
    # The driver wants a block device when run as root; older ones take the image itself.
    media_try "$MEDIA_TMP/mount.log" mount.exfat-fuse "$img" "$1" && return 0
    loop=$(losetup -f --show "$img" 2>/dev/null) || { echo "no loop devices" >&2; return 1; }
    media_try "$MEDIA_TMP/mount.log" mount.exfat-fuse "$loop" "$1" && return 0
    losetup -d "$loop"
    echo "mount.exfat-fuse failed: $(tail -n 1 "$MEDIA_TMP/mount.log")" >&2
    return 1
}

mount_fat() { mount_fat_tz "${TZ:-}" "$1"; }

# mount_fat_tz ZONE MOUNTPOINT: a fresh FAT image through fusefat, whose time zone is ZONE.
mount_fat_tz() {
    media_need_fuse && media_need mkfs.vfat fusefat || return 1
    local img
    img=$(media_image "fat${1//\//-}" mkfs.vfat) || return 1
    # fusefat mounts read-only unless told "rw+"; it reports the volume's layout on standard output.
    # No attribute cache: a time the driver loses must show at once, not a second later.
    media_try "$MEDIA_TMP/mount.log" env ${1:+TZ="$1"} fusefat -o rw+,attr_timeout=0 "$img" "$2" &&
        mountpoint -q "$2" && return 0
    echo "fusefat failed: $(tail -n 1 "$MEDIA_TMP/mount.log")" >&2
    return 1
}

# media_ntfs DRIVER MOUNTPOINT [OPTIONS]: a fresh NTFS image mounted by ntfs-3g or lowntfs-3g.
media_ntfs() {
    media_need_fuse && media_need mkntfs "$1" || return 1
    local img
    img=$(media_image ntfs mkntfs -F -Q -f) || return 1
    media_try "$MEDIA_TMP/mount.log" "$1" ${3:+-o "$3"} "$img" "$2" && return 0
    echo "$1 failed: $(tail -n 1 "$MEDIA_TMP/mount.log")" >&2
    return 1
}

mount_ntfs() { media_ntfs ntfs-3g "$1"; }
mount_ntfs_ic() { media_ntfs lowntfs-3g "$1" ignore_case; }

# An sshfs share of $MEDIA_TMP/share, served by a private sshd on a free loopback port to a key made here.
mount_sshfs() {
    media_need_fuse && media_need sshfs ssh-keygen /usr/sbin/sshd || return 1
    local k="$MEDIA_TMP/ssh" port pid
    mkdir -p "$k" "$MEDIA_TMP/share"
    if [ ! -f "$k/user" ]; then
        ssh-keygen -q -t ed25519 -N '' -f "$k/host" && ssh-keygen -q -t ed25519 -N '' -f "$k/user" ||
            { echo "ssh-keygen failed" >&2; return 1; }
    fi
    # sshd refuses to start without its privilege separation folder.
    [ -d /run/sshd ] || mkdir -m 0755 /run/sshd
    for port in $(shuf -i 20000-60000 -n 5); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue
        /usr/sbin/sshd -D -e -f /dev/null -o Port="$port" -o ListenAddress=127.0.0.1 \
            -o HostKey="$k/host" -o AuthorizedKeysFile="$k/user.pub" -o PermitRootLogin=prohibit-password \
            -o StrictModes=no -o PasswordAuthentication=no -o UsePAM=no -o PidFile=none \
            -o Subsystem="sftp internal-sftp" </dev/null >"$k/sshd.log" 2>&1 &
        pid=$!
        echo "$pid" >"$MEDIA_TMP/sshd.pid"
        for _ in $(seq 50); do
            (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break 2
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$pid" 2>/dev/null
        pid=
    done
    [ -n "$pid" ] || { echo "sshd did not start: $(tail -n 1 "$k/sshd.log")" >&2; return 1; }
    media_try "$MEDIA_TMP/mount.log" sshfs -p "$port" \
        -o IdentityFile="$k/user",StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes \
        "root@127.0.0.1:$MEDIA_TMP/share" "$1" && return 0
    echo "sshfs failed: $(tail -n 1 "$MEDIA_TMP/mount.log")" >&2
    media_stop_sshd
    return 1
}

# An rclone mount of $MEDIA_TMP/share through its local backend, writes cached as a cloud remote needs;
# every file shows mode 0777, as on a stick.
mount_rclone() {
    media_need_fuse && media_need rclone || return 1
    mkdir -p "$MEDIA_TMP/share"
    media_try "$MEDIA_TMP/mount.log" env RCLONE_CONFIG=/dev/null rclone mount "$MEDIA_TMP/share" "$1" \
        --vfs-cache-mode writes --file-perms 0777 --cache-dir "$MEDIA_TMP/rclone-cache" --daemon && mountpoint -q "$1" && return 0
    echo "rclone mount failed: $(tail -n 1 "$MEDIA_TMP/mount.log")" >&2
    return 1
}

media_stop_sshd() {
    [ -f "$MEDIA_TMP/sshd.pid" ] || return 0
    kill "$(cat "$MEDIA_TMP/sshd.pid")" 2>/dev/null
    rm -f "$MEDIA_TMP/sshd.pid"
}

# media_umount DIR: unmounts a medium and frees what it held (loop device, image, sshd).
media_umount() {
    local loop
    loop=$(awk -v m="$1" '$2 == m && $1 ~ /^\/dev\/loop/ { print $1 }' /proc/self/mounts)
    umount "$1" 2>/dev/null || umount -l "$1" || return 1
    [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
    rm -f "$MEDIA_TMP"/*.img
    media_stop_sshd
    rm -rf "$MEDIA_TMP/share"
    return 0
}
