# Bash completion for the quillory tool: commands, their options, task
# names (asked of the tool itself, from the file the line names), day and
# month names, and files where an option takes one.

_quillory_tasks() {
    # The names of the tasks in the file the line names, one a line.
    local tool=${COMP_WORDS[0]} i args=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --file | --codepage) args+=("${COMP_WORDS[i]}" "${COMP_WORDS[i + 1]}") ;;
        esac
    done
    "$tool" list --names "${args[@]}" 2>/dev/null
}

# Candidates for the last element of a comma list, with the elements before it kept.
_quillory_list_of() {
    local cur=$1
    shift
    local head="" last=$cur word
    if [[ $cur == *,* ]]; then
        head=${cur%,*},
        last=${cur##*,}
    fi
    for word in "$@"; do
        [[ $word == "$last"* ]] && COMPREPLY+=("$head$word")
    done
}

_quillory() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="list show next ics add set remove enable disable copy move send-now export import"
    local days="monday tuesday wednesday thursday friday saturday sunday"
    local months="january february march april may june july august september october november december"
    COMPREPLY=()

    # The command, and the operands given after it so far.
    local command="" operands=0 i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            --file | --codepage | --count | --now | --out | --eml | --to | --cc | --bcc | --subject | --body | \
                --body-file | --attach | --attach-entry | --every-minutes | --interval | --kind | --days | \
                --week-of-month | --day | --ordinal | --month | --start | --end-after | --end-date | --name)
                ((i++))
                ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then command=$word; else ((operands++)); fi
                ;;
        esac
    done

    case $prev in
        --file | --eml | --body-file | --attach | --attach-entry | --out | --holidays)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --days)
            _quillory_list_of "$cur" $days mon tue wed thu fri sat sun
            return
            ;;
        --month)
            mapfile -t COMPREPLY < <(compgen -W "$months" -- "$cur")
            return
            ;;
        --kind)
            mapfile -t COMPREPLY < <(compgen -W "day weekday weekend-day even-day odd-day $days" -- "$cur")
            return
            ;;
        --ordinal)
            mapfile -t COMPREPLY < <(compgen -W "first second third fourth last" -- "$cur")
            return
            ;;
        --on-holiday)
            mapfile -t COMPREPLY < <(compgen -W "send before after skip" -- "$cur")
            return
            ;;
        --missed)
            mapfile -t COMPREPLY < <(compgen -W "each latest none" -- "$cur")
            return
            ;;
        --if-nothing-attached)
            mapfile -t COMPREPLY < <(compgen -W "send skip wait:" -- "$cur")
            return
            ;;
        --week-of-month)
            mapfile -t COMPREPLY < <(compgen -W "2 3 4" -- "$cur")
            return
            ;;
        --codepage | --count | --now | --to | --cc | --bcc | --subject | --body | --every-minutes | --interval | \
            --day | --start | --end-after | --end-date | --name | --working-days | --zone | --pause-until)
            return
            ;;
    esac

    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands --help --file --codepage" -- "$cur")
        return
    fi

    if [[ $cur == -* ]]; then
        local options="--help --file --codepage"
        local schedule="--once --every-minutes --daily --weekly --monthly --yearly --interval --kind --days
            --week-of-month --day --ordinal --month --start --end-after --end-date --no-end --name --no-send-overdue
            --send-overdue --receive-first --no-receive-first --inactive --active --attach-entry --no-attach-entries
            --eml --to --cc --bcc --subject --body --body-file --attach --working-days --no-working-days --holidays
            --no-holidays --on-holiday --no-on-holiday --zone --no-zone --if-nothing-attached --no-if-nothing-attached
            --missed --no-missed --pause-until --no-pause-until --skip-next --no-skip-next"
        case $command in
            add | set) options+=" $schedule" ;;
            list) options+=" --json --addin --names" ;;
            next) options+=" --count --now" ;;
            ics) options+=" --out --now" ;;
        esac
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi

    case $command in
        set | remove | enable | disable | copy | move | send-now | show | next | ics)
            if ((operands == 0)) || [[ $command == ics ]]; then
                local name
                while IFS= read -r name; do
                    [[ $name == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
                done < <(_quillory_tasks)
            elif [[ $command == move && $operands == 1 ]]; then
                mapfile -t COMPREPLY < <(compgen -W "up down first last to" -- "$cur")
            fi
            ;;
    esac
}

complete -F _quillory quillory
