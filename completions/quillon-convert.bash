# bash completion for quillon-convert                      -*- shell-script -*-
# Needs nothing but bash itself (no bash-completion helpers).

_quillon_convert()
{
    local -a words=()
    local i w cword=-1
    # Bash splits "--mode=single" and "threshold:128" at "=" and ":"; put them back together.
    for ((i = 0; i <= COMP_CWORD && i < ${#COMP_WORDS[@]}; i++)); do
        w=${COMP_WORDS[i]}
        if ((${#words[@]} > 0)) && [[ $w == [=:] || ${words[-1]} == *[=:] ]] && ((i > 1)); then
            words[-1]+=$w
        else
            words+=("$w")
        fi
    done
    cword=$((${#words[@]} - 1))
    local cur=${words[cword]} prev=
    ((cword > 0)) && prev=${words[cword - 1]}
    # What bash replaces starts after the last "=" or ":" of the word.
    local kept=""
    [[ $cur == *[=:]* ]] && kept=${cur%"${cur##*[=:]}"}

    local opt=$prev prefix=""
    if [[ $cur == --*=* ]]; then
        opt=${cur%%=*}
        prefix=$opt=
        cur=${cur#*=}
    fi
    # Typed quotes and backslashes are not part of the name.
    cur=${cur#[\"\']}
    cur=${cur//\\/}

    # After "--" every word is a path.
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} == -- ]] && opt=--
    done

    local -a values=()
    local kind=""
    case $opt in
    -o | --output | --mirror-from | --log-dir) kind=dirs ;;
    --failed-list | --files-from | --manifest) kind=files ;;
    -m | --mode) values=(single combine group) ;;
    -c | --compression) values=(none g3 g4 lzw packbits auto deflate zstd jpeg) ;;
    --metadata) values=(keep strip) ;;
    --bilevel) values=(auto threshold: dither:ordered dither:diffusion) ;;
    --existing) values=(replace keep-both skip) ;;
    --progress) values=(bar lines none) ;;
    --shard) values=(env) ;;
    -p | --pages) values=(all step: rstep:) ;;
    -n | --name | -g | --group-size | --level | --quality | --dpi | --shard-count | -j | --jobs | --memory)
        COMPREPLY=()
        return
        ;;
    --) kind=paths ;;
    *)
        if [[ -z $prefix && $cur == -* ]]; then
            values=(--output --mode --name --group-size --compression --level --quality --metadata --dpi
                --bilevel --existing --failed-list --files-from --mirror-from --shard --shard-count --log-dir
                --checksums --manifest --recursive --pages --jobs --memory --progress --quiet --help --version)
            [[ $cur == -? || $cur == - ]] && values+=(-o -m -n -g -c -r -p -j -q -h -v)
        else
            kind=paths
        fi
        ;;
    esac

    COMPREPLY=()
    case $kind in
    dirs)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        ;;
    files | paths)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        ;;
    *)
        mapfile -t COMPREPLY < <(compgen -W "${values[*]}" -- "$cur")
        # A value that goes on ("threshold:", "step:") takes no space after it.
        [[ ${COMPREPLY[*]} == *: ]] && compopt -o nospace 2>/dev/null
        ;;
    esac
    if [[ -n $prefix$kept ]]; then
        for i in "${!COMPREPLY[@]}"; do
            w=$prefix${COMPREPLY[i]}
            COMPREPLY[i]=${w#"$kept"}
        done
    fi
}
complete -F _quillon_convert quillon-convert
