# The command loop on the guest's console. The host writes one line per command, `ID<TAB>COMMAND`;
# the loop runs it with no input, prints each line of its output as `|ID| LINE`, then `@@ID rc=N`
# with its exit status. The console does not echo, so only these lines come back.
stty -echo -onlcr
echo "@@ready $(cut -d' ' -f1 /proc/uptime)"
tab=$(printf '\t')
while IFS= read -r line; do
    id=${line%%"$tab"*}
    command=${line#*"$tab"}
    ( eval "$command" ) </dev/null >/tmp/out 2>&1
    rc=$?
    sed "s/^/|$id| /" /tmp/out
    echo "@@$id rc=$rc"
done
