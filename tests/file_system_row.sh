#!/bin/sh
# One row of the file-system tables, run in the row's home (HOME) by tests/test_files.cpp. It makes the files a wrong
# deletion would take (behind links in the install folder, beside it, and in a folder of the same name elsewhere),
# runs the row's $SETUP, and starts the test program ($PROGRAM) to answer the row's $QUESTION in a process of its
# own, started from another folder; for the question's $VERB "remove-as-nobody" as nobody where the row runs as root,
# for "remove-chrooted" chrooted into a scratch root (~/root, which holds the system's programs, the home and the
# program at their own paths). The commands of $BETWEEN run
# on its input while it asks. It prints the answer in brackets, then, with $REMOVES set, whether the install folder is
# "there" or "gone". What the home holds before and after the question is left in ~/.snapshot-before and -after.
# $INSTALL, $NAME, $AGENT and $OTHER (the other processor's agent) are the setup's to use.
sudo() { "$@"; } # the setup's commands that need root: the row is skipped elsewhere
cd ~ || exit
mkdir -p precious Applications/Other "elsewhere/$NAME" && echo > precious/keep && echo > Applications/Other/keep &&
  echo > "elsewhere/$NAME/keep" && ln -s ~/precious "$INSTALL/dist/link" && ln -s ~/precious/keep "$INSTALL/link"
eval "$SETUP"
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
"$@" "$PROGRAM" <<END
cd ~
$BETWEEN
find ~ -maxdepth 9 -printf '%P %i\n' | sort > ~/.snapshot-before
END
chmod -R u+rwX ~
chattr -R -ia ~ 2>/dev/null
find ~ -maxdepth 9 -printf '%P %i\n' | sort > ~/.snapshot-after
if [ -n "$REMOVES" ]; then
  if [ -e "$INSTALL" ] || [ -L "$INSTALL" ]; then echo ' there'; else echo ' gone'; fi
fi
rm -rf "$INSTALL" # which, unlike the fixture's clean-up, copes with any depth
