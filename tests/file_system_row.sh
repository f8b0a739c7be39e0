#!/bin/sh
# One row of the file-system tables, run in the row's home (HOME) by tests/test_files.cpp. It makes the files a wrong
# deletion would take (behind links in the install folder, beside it, and in a folder of the same name elsewhere),
# runs the row's $SETUP, and starts the test program ($PROGRAM) to answer the row's $QUESTION in a process of its
# own, started from another folder; for the question's $VERB "remove-as-nobody" as nobody where the row runs as root,
# for "remove-chrooted" chrooted into a scratch root (~/root, which holds the system's programs, the home and the
# program at their own paths). The commands of $BETWEEN run
# on its input while it asks, then those of $UNSEEN, which the snapshot of the home must not look at (a mount whose
# server does not answer; a process whose pid they write to ~/.server-pid is ended once the question was answered).
# The program is started through $RUN_WITH when the setup sets it. It prints the answer in brackets, then, with
# $REMOVES set, whether the install folder is "there" or "gone", then what $AFTER prints. What the home holds before
# and after the question is left in ~/.snapshot-before and -after. $INSTALL, $NAME, $AGENT, $OTHER (the other
# processor's agent) and $HELPERS (the folder of the tests' helper programs) are the setup's to use; a setup that
# finds the system unable to provide its case calls `skip` with the reason.
sudo() { "$@"; } # the setup's commands that need root: the row is skipped elsewhere
# The program started through $RACING deletes an entry named $RACE_BEFORE only after running $RACE_COMMAND.
RACING="env LD_PRELOAD=$HELPERS/libunlink-race.so ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
skip() {
  echo "[skip: $*]"
  exit
}
cd ~ || exit
mkdir -p precious Applications/Other "elsewhere/$NAME" && echo > precious/keep && echo > Applications/Other/keep &&
  echo > "elsewhere/$NAME/keep" && ln -s ~/precious "$INSTALL/dist/link" && ln -s ~/precious/keep "$INSTALL/link"
eval "$SETUP"
[ -z "$RACE_COMMAND" ] || export RACE_COMMAND="sudo() { \"\$@\"; }; $RACE_COMMAND"
cd ~/Applications/Other 2>/dev/null
set --
case $VERB in
remove-as-nobody)
  if [ "$(id -u)" = 0 ]; then
    chown -R --from=0:0 65534:65534 ~
    set -- setpriv --reuid=65534 --regid=65534 --clear-groups
  fi
  ;;
remove-chrooted) # the scratch root's mounts vanish with the namespace the question is asked in
  set -- unshare -m /bin/sh -c '
    mkdir -p "$0/dev" "$0/proc" && touch "$0/dev/null" && mount --bind /dev/null "$0/dev/null" &&
      mount -t proc proc "$0/proc" || exit
    for folder in /bin /lib /lib64 /usr/bin /usr/lib /usr/lib64 "$HOME" "${PROGRAM%/*}"; do
      if [ -L "$folder" ]; then
        ln -s "$(readlink "$folder")" "$0$folder" || exit
      elif [ -d "$folder" ]; then
        mkdir -p "$0$folder" && mount --bind "$folder" "$0$folder" || exit
      fi
    done
    exec chroot "$0" "$@"' ~/root
  ;;
esac
"$@" $RUN_WITH "$PROGRAM" <<END
sudo() { "\$@"; }
cd ~
$BETWEEN
find ~ -maxdepth 9 -printf '%P %i\n' | sort > ~/.snapshot-before
$UNSEEN
END
if [ -s ~/.server-pid ]; then
  kill "$(cat ~/.server-pid)" && umount -l -a -t fuse.dead
fi
# Only what needs it is unlocked: on an overlay a change copies the file up, with a new inode number.
cd / && find ~ -maxdepth 9 -type d ! -perm -u=rwx -exec chmod u+rwx {} \;
case $SETUP in *chattr*) chattr -R -ia ~ 2>/dev/null ;; esac
find ~ -maxdepth 9 -printf '%P %i\n' | sort > ~/.snapshot-after
if [ -n "$REMOVES" ]; then
  if [ -e "$INSTALL" ] || [ -L "$INSTALL" ]; then printf ' there'; else printf ' gone'; fi
fi
[ -z "$AFTER" ] || printf ' %s' "$(eval "$AFTER")"
rm -rf "$INSTALL" # which, unlike the fixture's clean-up, copes with any depth
