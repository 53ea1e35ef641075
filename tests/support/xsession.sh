# The real-window tests' X session, sourced by them: a private Xvfb, the game's window, its end.
# The caller has $work and fail, and its cleanup ends $game_pid and $xvfb_pid.
xvfb_pid=
game_pid=

# Starts a private Xvfb (1024 x 768, or the WIDTHxHEIGHT given) on a display number it picks
# itself; exports DISPLAY.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local number=
    for _ in $(seq 100); do
        number=$(tr -dc 0-9 <"$work/display")
        [ -n "$number" ] && break
        sleep 0.1
    done
    [ -n "$number" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$number"
}

# Sets window to the game's window once it shows.
await_window() {
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Marrowdale$' | head -n 1)
    [ -n "$window" ] || fail "no window named Marrowdale appeared within 30 s"
}

# Waits up to 30 s for the game to end after what $1 names, and expects status $2 (0 unless
# given).
expect_clean_exit() {
    for _ in $(seq 300); do
        kill -0 "$game_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$game_pid" 2>/dev/null && fail "the game was still running 30 s after $1"
    wait "$game_pid"
    local status=$?
    game_pid=
    [ "$status" = "${2:-0}" ] || fail "exit status $status after $1"
    echo "the game ended with status $status after $1"
}
