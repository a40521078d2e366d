# bash completion for lumora-cli                              -*- shell-script -*-
# Installed as share/bash-completion/completions/lumora-cli. Needs nothing of
# the bash-completion package, so it also works when sourced by hand.

_lumora_cli() {
    local cur prev word option i command="" used=""
    COMPREPLY=()
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev=""
    ((COMP_CWORD > 0)) && prev="${COMP_WORDS[COMP_CWORD - 1]}"

    # "--save=DIR": bash splits the word at "=" (COMP_WORDBREAKS), so the
    # option stands one or two words back.
    option="$prev"
    if [[ $cur == "=" ]]; then
        cur=""
    elif [[ $prev == "=" && COMP_CWORD -ge 2 ]]; then
        option="${COMP_WORDS[COMP_CWORD - 2]}"
    fi

    case "$option" in
        --log)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --save | --capture)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        --albums)
            COMPREPLY=($(compgen -W "all" -- "$cur"))
            return
            ;;
        --base)
            COMPREPLY=($(compgen -W "description number address" -- "$cur"))
            return
            ;;
        --folder)
            COMPREPLY=($(compgen -W "album none" -- "$cur"))
            return
            ;;
        --forget | --threads | --timeout | --min | --max | --retries | --limit-rate | --delay | --prefix | --suffix | \
            --replace-what | --replace-with | --folder-prefix | --folder-suffix)
            return # a value of the user's own
            ;;
    esac

    # The command is the first word that is neither an option nor an
    # option's value; the words after it that are neither are its arguments.
    local value_options=" --log --capture --save --albums --forget --threads --timeout --min --max --retries
        --limit-rate --delay --prefix --suffix --replace-what --replace-with --folder-prefix --folder-suffix --base --folder "
    local -a arguments=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word="${COMP_WORDS[i]}"
        if [[ $value_options == *[[:space:]]"$word"[[:space:]]* ]]; then
            used+=" $word "
            [[ ${COMP_WORDS[i + 1]} == "=" ]] && ((i++))
            ((i++))
        elif [[ $word == -* ]]; then
            used+=" $word "
        elif [[ -z $command ]]; then
            command="$word"
        else
            arguments+=("$word")
        fi
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "-h --help --version --log --capture -q --quiet" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "list download retry archive options params names queue follow sync rules check verify repair help" -- "$cur"))
        fi
        return
    fi

    local options="" values=""
    case "$command" in
        list) options="--json -q --quiet --log --capture" ;;
        download) options="--albums --save --verify --json -q --quiet --log --capture" ;;
        retry) options="--json -q --quiet --log --capture" ;;
        archive)
            # --forget and --prune exclude each other.
            [[ $used == *" --forget "* || $used == *" --prune "* ]] || options="--forget --prune"
            ;;
        options)
            case ${#arguments[@]} in
                0) values="fix-format fix-order name-file list-only open-folder skip-seen skip-saved skip-deleted manifest" ;;
                1) values="on off" ;;
            esac
            ;;
        params) options="--threads --timeout --min --max --retries --limit-rate --delay" ;;
        names)
            options="--prefix --suffix --replace-what --replace-with --folder-prefix --folder-suffix --base --folder"
            ;;
        # queue and follow take a sub-command, the first of their arguments.
        queue)
            case ${arguments[0]-} in
                "") values="add list run remove clear" ;;
                add) options="--albums --save -q --quiet" ;; # -q: reading the album list for --albums
                list) options="--json" ;;
                run) options="--json -q --quiet --log --capture" ;;
                remove) ;;
                clear) options="--done" ;;
                *) return ;;
            esac
            ;;
        follow)
            case ${arguments[0]-} in
                "") values="add remove list" ;;
                add) options="--save" ;;
                remove) ;;
                list) options="--json" ;;
                *) return ;;
            esac
            ;;
        sync) options="--json -q --quiet --log --capture" ;;
        rules)
            case ${arguments[0]-} in
                "") values="show export install reset test" ;;
                export)
                    compopt -o filenames 2>/dev/null
                    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
                    return
                    ;;
                install | test)
                    compopt -o filenames 2>/dev/null
                    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                    return
                    ;;
                *) return ;;
            esac
            ;;
        check) ;;
        verify | repair)
            options="--json"
            [[ $command == repair ]] && options+=" -q --quiet --log --capture"
            if [[ $cur != -* ]]; then
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -d -- "$cur")
                return
            fi
            ;;
        help)
            ((${#arguments[@]} == 0)) && values="list download retry archive options params names queue follow sync rules check verify repair"
            ;;
        *) return ;;
    esac

    if [[ $cur == -* ]]; then
        local offered="" candidate
        for candidate in $options -h --help; do
            [[ $used == *" $candidate "* ]] || offered+=" $candidate"
        done
        COMPREPLY=($(compgen -W "$offered" -- "$cur"))
    elif [[ -n $values ]]; then
        COMPREPLY=($(compgen -W "$values" -- "$cur"))
    fi
}

complete -F _lumora_cli lumora-cli
