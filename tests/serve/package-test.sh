#!/bin/sh
# Builds the Debian package from a build folder and checks what it installs: the programs and their
# links, the source database, the manual, the settings as a conffile, the service with its user, and
# the libraries it declares. Exit 77 (skipped) without dpkg-deb.
set -eu
build=$1
command -v dpkg-deb >/dev/null 2>&1 || { echo "dpkg-deb is missing: the package is not built"; exit 77; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log"
    exit 1
fi
deb=$(ls "$out"/*.deb)
dpkg-deb -c "$deb" | awk '{print $6 ($7 == "->" ? " -> " $8 : "")}' >"$out/files"
failed=0
# The settings may hold a password: not readable by others, and the service's group gets them.
dpkg-deb -c "$deb" | grep -q '^-rw-r----- .* \./etc/vocaset/ParamDB\.txt$' ||
    { echo "ParamDB.txt is readable by others:"; dpkg-deb -c "$deb" | grep ParamDB; failed=1; }
# The service reads the source database to create its own working one (a new database file is
# its owner's only, the build's copy among them): installed readable, whatever mode the build gave it.
dpkg-deb -c "$deb" | grep -q '^-rw-r--r-- .* \./usr/share/vocaset/vocaset-source\.db$' ||
    { echo "the service cannot read vocaset-source.db:"; dpkg-deb -c "$deb" | grep source; failed=1; }
expect() { grep -qxF -- "$1" "$out/files" || { echo "missing from the package: $1"; failed=1; }; }
for program in vocaset-cli vocaset lenvik; do
    expect "./usr/lib/vocaset/$program"
    expect "./usr/bin/$program -> ../lib/vocaset/$program"
done
expect "./usr/lib/vocaset/ParamDB.txt -> /etc/vocaset/ParamDB.txt"
expect "./usr/lib/vocaset/manual.htm -> ../../share/doc/vocaset/manual.htm"
expect "./usr/lib/vocaset/manual -> ../../share/doc/vocaset/manual"
expect "./usr/share/vocaset/vocaset-source.db"
expect "./usr/share/doc/vocaset/manual.htm"
expect "./etc/vocaset/ParamDB.txt"
expect "./etc/default/vocaset-serve"
expect "./usr/lib/systemd/system/vocaset-serve.service"
expect "./usr/lib/sysusers.d/vocaset.conf"
if grep -q '^\./usr/local\|/tmp' "$out/files"; then
    echo "installed outside the package's prefix:"; grep '^\./usr/local\|/tmp' "$out/files"; failed=1
fi

# The texts name the installed paths, not the build's or cpack's.
dpkg-deb -x "$deb" "$out/root"
unit="$out/root/usr/lib/systemd/system/vocaset-serve.service"
for line in 'User=vocaset' 'ProtectSystem=strict' 'Restart=on-failure' 'KillSignal=SIGTERM' \
    'ExecStart=/usr/bin/vocaset-cli --settings /etc/vocaset/ParamDB.txt serve $VOCASET_SERVE_OPTIONS'; do
    grep -qxF -- "$line" "$unit" || { echo "the unit lacks: $line"; failed=1; }
done
grep -q 'Data Source=/usr/share/vocaset/vocaset-source.db' "$out/root/etc/vocaset/ParamDB.txt" ||
    { echo "ParamDB.txt does not name the installed source database"; cat "$out/root/etc/vocaset/ParamDB.txt"; failed=1; }

dpkg-deb -e "$deb" "$out/control"
grep -qxF /etc/vocaset/ParamDB.txt "$out/control/conffiles" || { echo "ParamDB.txt is no conffile"; failed=1; }
grep -q 'dpkg-statoverride --update --add root vocaset 0640 /etc/vocaset/ParamDB.txt' "$out/control/postinst" ||
    { echo "the postinst does not give ParamDB.txt to the group vocaset"; failed=1; }
depends=$(dpkg-deb -f "$deb" Depends)
for library in libmicrohttpd libqt6core6 libqt6sql6-sqlite libqt6sql6-psql; do
    case "$depends" in *"$library"*) ;; *) echo "Depends lacks $library: $depends"; failed=1 ;; esac
done
exit $failed
