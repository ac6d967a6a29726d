# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for pelorix-cli

_pelorix_cli() {
  local cur prev command i
  COMPREPLY=()
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  local commands="info save-as convert frame render"
  local images='@(bmp|dib|png|jpg|jpeg|jpe|jfif|gif|webp|tif|tiff|BMP|PNG|JPG|JPEG|GIF|WEBP|TIF|TIFF)'
  command=
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      info | save-as | convert | frame | render) command=${COMP_WORDS[i]}; break ;;
    esac
  done

  case $prev in
    --lang) COMPREPLY=($(compgen -W "ja en" -- "$cur")); return ;;
    --format) COMPREPLY=($(compgen -W "png jpg bmp webp tif gif mp4 webm mov mkv apng" -- "$cur")); return ;;
    --encoding) COMPREPLY=($(compgen -W "utf-8 cp932" -- "$cur")); return ;;
    --background) COMPREPLY=($(compgen -W "black transparent" -- "$cur")); return ;;
    --at | --frames | --jobs | --quality | --png-level | --crf | --layer | --name) return ;;
    -o | --output)
      if [ "$command" = frame ]; then
        _filedir "$images"
      else
        _filedir '@(gif|webp|apng|mp4|webm|mov|mkv)'
      fi
      return ;;
  esac

  if [ -z "$command" ]; then
    COMPREPLY=($(compgen -W "$commands --help --version --lang" -- "$cur"))
    return
  fi
  if [[ $cur == -* ]]; then
    local options="--help"
    case $command in
      info) options+=" --json" ;;
      save-as) options+=" --encoding" ;;
      convert) options+=" --quality --png-level" ;;
      frame) options+=" --at -o --output --layer --quality --png-level --keep-going" ;;
      render) options+=" -o --output --name --format --frames --jobs --quality --png-level
                        --background --crf --lossless --skip-existing --allow-gif --keep-going
                        -q --quiet -v --verbose" ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  case $command in
    convert) _filedir "$images" ;;
    *) _filedir pxp ;;
  esac
}
complete -F _pelorix_cli pelorix-cli
