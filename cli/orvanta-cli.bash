# bash completion for orvanta-cli: commands, options, the rates --baud takes, and for -p the
# ports that `orvanta-cli ports` lists.
_orvanta_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command="" word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case $word in ports|send|receive) command=$word; break ;; esac
    done

    local common="-q --quiet -v --verbose -h --help"
    case $prev in
        -p|--port)
            local ports
            ports=$("${COMP_WORDS[0]}" -q ports 2>/dev/null | cut -d' ' -f1)
            COMPREPLY=($(compgen -W "$ports" -- "$cur"))
            # A virtual line's link is a path too; a serial server on the network is a URL.
            [[ $cur == s* || $cur == r* ]] && COMPREPLY+=($(compgen -W "socket:// rfc2217://" -- "$cur"))
            [[ $cur == */* ]] && COMPREPLY+=($(compgen -f -- "$cur"))
            return ;;
        --baud)
            # The standard rates, as --help lists them (a test holds the two lists to each other).
            COMPREPLY=($(compgen -W "50 75 110 134 150 200 300 600 1200 1800 2400 4800 9600 19200 38400 57600 115200 230400 460800 500000 921600 1000000 2000000" -- "$cur"))
            return ;;
        -o|--output|--expect|--virtual)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --timeout|--wait|--connect-timeout)
            return ;;
        =)  # bash splits --wait-port=SECONDS at the "=": seconds are typed, not completed
            [[ ${COMP_WORDS[COMP_CWORD-2]} == --wait-port ]] && return ;;
    esac

    case $command in
        "") COMPREPLY=($(compgen -W "ports send receive $common --version" -- "$cur")) ;;
        ports) COMPREPLY=($(compgen -W "$common" -- "$cur")) ;;
        send)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "-p --port --baud --connect-timeout --watch --wait-port --wait-port= $common" -- "$cur"))
                # --wait-port= alone: no space, the seconds follow
                [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi ;;
        receive)
            COMPREPLY=($(compgen -W "-p --port --virtual -o --output --expect --timeout --wait --baud --connect-timeout $common" -- "$cur")) ;;
    esac
}
complete -o filenames -F _orvanta_cli orvanta-cli
